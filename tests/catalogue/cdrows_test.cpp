// The CD list's row edits and cursor row, on plain string lists.
#include "catalogue/cdrows.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

// shown after the edits, each checked to act inside the list.
Rows applied(Rows shown, const Rows& wanted, int* inserts) {
    *inserts = 0;
    for (const CdrowsEdit& edit : cdrowsDiff(shown, wanted)) {
        EXPECT_GE(edit.row, 0);
        if (edit.kind == CdrowsEdit::Remove) {
            EXPECT_LT(edit.row, static_cast<int>(shown.size()));
            if (edit.row < 0 || edit.row >= static_cast<int>(shown.size())) break;
            shown.erase(shown.begin() + edit.row);
        } else {
            EXPECT_LE(edit.row, static_cast<int>(shown.size()));
            EXPECT_LT(edit.row, static_cast<int>(wanted.size()));
            if (edit.row > static_cast<int>(shown.size())) break;
            shown.insert(shown.begin() + edit.row, wanted[edit.row]);
            ++*inserts;
        }
    }
    return shown;
}

Rows randomRows(std::mt19937& rng) {
    // Few distinct paths, so that lists repeat rows and share many.
    Rows rows(rng() % 9);
    for (std::string& row : rows) row = std::string(1, static_cast<char>('a' + rng() % 4));
    return rows;
}

TEST(CdRows, EditsTurnTheShownRowsIntoTheWantedOnes) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 5000; ++round) {
        Rows shown = randomRows(rng), wanted = randomRows(rng);
        int inserts = 0;
        ASSERT_EQ(applied(shown, wanted, &inserts), wanted) << round;

        // A narrower filter keeps a subsequence: nothing is inserted again.
        Rows kept;
        for (const std::string& row : shown)
            if (rng() % 2) kept.push_back(row);
        ASSERT_EQ(applied(shown, kept, &inserts), kept) << round;
        EXPECT_EQ(inserts, 0) << round;
    }
}

TEST(CdRows, TheCursorGoesToTheLastEqualRow) {
    struct Case {
        Rows rows;
        const char* current;
        int cursor;
    } cases[] = {
        {{}, "a", -1},
        {{"a", "b"}, "c", -1},
        {{"a", "b"}, "b", 1},
        {{"a", "b", "a", "c"}, "a", 2},
        {{"/g/A.cue"}, "/g/a.cue", -1},  // case counts
        {{"a"}, "", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(cdrowsCursor(c.rows, c.current), c.cursor) << c.current;
}

}  // namespace
