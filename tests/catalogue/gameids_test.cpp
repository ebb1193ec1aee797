// The table of disc IDs: what it gives back and when it tells the dialog.
#include "catalogue/gameids.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<std::string>> notices;

void record(const std::vector<std::string>& paths, void*) {
    notices.push_back(paths);
    std::sort(notices.back().begin(), notices.back().end());
}

// The notices one turn of the main loop sent, and forgets them.
std::vector<std::vector<std::string>> turn() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return std::exchange(notices, {});
}

using Notices = std::vector<std::vector<std::string>>;

TEST(Gameids, TakesAreKeptAndEachTurnNotifiesOnceWithThePathsThatChanged) {
    gameidsSetNotify(record, nullptr);
    gameidsTake("/a.cue", "SLUS-00330");
    gameidsTake("/a.cue", "SLUS-00331");
    gameidsTake("/b.cue", "");  // none where none was known: nothing to show
    gameidsTake("/c.cue", "SCES-00001");
    EXPECT_EQ(turn(), (Notices{{"/a.cue", "/c.cue"}}));
    ASSERT_NE(gameidsFind("/a.cue"), nullptr);
    EXPECT_EQ(*gameidsFind("/a.cue"), "SLUS-00331");
    ASSERT_NE(gameidsFind("/b.cue"), nullptr);
    EXPECT_EQ(*gameidsFind("/b.cue"), "");
    EXPECT_EQ(gameidsFind("/d.cue"), nullptr);

    gameidsTake("/a.cue", "SLUS-00331");  // the same again is no news
    gameidsTake("/b.cue", "SLPS-01300");
    gameidsTake("/c.cue", "");
    EXPECT_EQ(turn(), (Notices{{"/b.cue", "/c.cue"}}));
    EXPECT_EQ(turn(), Notices{});
    // Kept IDs are taken in before the list is filled, which shows them: no
    // notice. One for an image known already replaces its ID; later takes and
    // forgets treat them as IDs taken.
    gameidsTakeKept({{"/e.cue", {"SLUS-00002", {}}},
                     {"/f.cue", {"SLUS-00003", {}}},
                     {"/g.cue", {"SLUS-00004", {}}},
                     {"/a.cue", {"SLES-00009", {}}}});
    EXPECT_EQ(turn(), Notices{});
    EXPECT_EQ(*gameidsFind("/e.cue"), "SLUS-00002");
    EXPECT_EQ(*gameidsFind("/a.cue"), "SLES-00009");
    gameidsTake("/e.cue", "SLUS-00002");  // the same again is no news
    gameidsTake("/f.cue", "SLUS-00005");
    gameidsForget("/g.cue");
    EXPECT_EQ(turn(), (Notices{{"/f.cue", "/g.cue"}}));
    EXPECT_EQ(*gameidsFind("/f.cue"), "SLUS-00005");
    EXPECT_EQ(gameidsFind("/g.cue"), nullptr);

    // Stopping drops the table and the notice pending.
    gameidsTake("/d.cue", "SLES-00001");
    gameidsStop();
    EXPECT_EQ(turn(), Notices{});
    EXPECT_EQ(gameidsFind("/a.cue"), nullptr);
    gameidsSetNotify(nullptr, nullptr);
    gameidsTake("/a.cue", "SLUS-00330");
    EXPECT_EQ(turn(), Notices{});
    gameidsStop();
}

}  // namespace
