// Disc IDs read by the ID helpers for a scanned folder of real discs: the
// IDs arrive, a reader that crashes or hangs costs its own image only, the
// scan helper keeps them, and a later start shows them and checks them by
// their files' stamps; a disc that cannot be read loses its ID until
// "Update"; "Get ID" on an image and on a loop device.
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "clients/spawn.h"
#include "disc/keptlist.h"
#include "support/discs.h"
#include "support/helpers.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::attachLoop;
using testsupport::writeFile;

namespace {

// Turns the main loop until done() holds, for at most a minute.
bool turnUntil(const std::function<bool()>& done) {
    const gint64 end = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    guint tick = g_timeout_add(
        5, [](gpointer) -> gboolean { return TRUE; }, nullptr);
    bool met;
    while (!(met = done()) && g_get_monotonic_time() < end) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    return met;
}

const std::string* idOf(const std::string& path) { return gameidsFind(path); }

class GameidsRead : public ::testing::Test {
protected:
    void SetUp() override { root = scratch.path() + "/lib/"; }
    void TearDown() override { gameidsStop(); }

    // A real disc whose boot file is id ("SLUS_003.30" gives SLUS-00330), as
    // a cue sheet and its raw data file in the library.
    void disc(const std::string& name, const std::string& boot) {
        lastIso = testsupport::writeDisc(root, name, boot);
        ASSERT_FALSE(lastIso.empty());
    }

    // A complete list of the library, then its IDs asked for, first's first.
    void scanAndRequest(bool rereadAll = false, const std::vector<std::string>& first = {}) {
        cdsearchScanRequest(rereadAll);
        ASSERT_TRUE(cdsearchScanWait(60000));
        gameidsRequest(cdsearchImageFullPaths(), rereadAll, first);
    }

    // Where the reading of names (in the library) stands: "" idle, "waiting",
    // or why it cannot be read ("unreadable", "no answer").
    std::vector<std::string> states(const std::vector<std::string>& names,
                                    const std::string& folder = "") {
        std::vector<std::string> out;
        for (const std::string& name : names) {
            GameIdResult why = GAMEID_FOUND;
            GameidsState state = gameidsStateOf((folder.empty() ? root : folder) + name, &why);
            out.push_back(state == GAMEIDS_IDLE      ? ""
                          : state == GAMEIDS_WAITING ? "waiting"
                          : why == GAMEID_NO_ANSWER  ? "no answer"
                                                     : "unreadable");
        }
        return out;
    }

    // Until every ID asked for has its answer but `hanging` of them.
    static bool settledBut(size_t hanging) {
        return turnUntil([hanging] { return gameidsPending() <= hanging; });
    }

    // The IDs of names (in the library, or in folder) as the table has them;
    // "?" for none known.
    std::vector<std::string> ids(const std::vector<std::string>& names,
                                 const std::string& folder = "") {
        std::vector<std::string> out;
        for (const std::string& name : names) {
            const std::string* id = idOf((folder.empty() ? root : folder) + name);
            out.push_back(id ? *id : "?");
        }
        return out;
    }

    // The kept list's IDs of names; "?" for none kept.
    std::vector<std::string> keptIds(const std::vector<std::string>& names) {
        std::vector<KeptFolder> kept;
        EXPECT_TRUE(keptlistRead(&kept));
        std::vector<std::string> out;
        for (const std::string& name : names) {
            out.push_back("?");
            for (const KeptFolder& folder : kept)
                if (auto found = folder.ids.find(root + name); found != folder.ids.end())
                    out.back() = found->second.id;
        }
        return out;
    }

    testsupport::ScratchDir scratch;
    testsupport::CatalogueLists lists;
    std::string root;
    std::string lastIso;                          // the blocks of the last disc made
    std::vector<std::string> nearNames, nearIds;  // local discs beside a share's
};

// A folder of discs: the IDs arrive side by side, a disc that kills its reader
// (twice), one whose reader makes a call its filter refuses, and a sheet that is a FIFO (never
// opened to wait on) cost their own ID only, and the scan helper keeps the IDs for the next start,
// which shows them at once and reads only the images whose files changed; "Update" reads every one.
TEST_F(GameidsRead, IdsArriveAreKeptAndAreCheckedByTheirStamps) {
    disc("Alpha", "SLUS_003.30");
    disc("Beta", "SCES_012.34");
    disc("Gamma", "SLPS_000.01");
    disc("crashes-reader", "SLUS_999.99");
    disc("forbidden-call", "SLUS_888.88");  // its reader is ended by its filter
    testsupport::expectHelperDeaths(SIGKILL);
    testsupport::expectHelperDeaths(SIGSYS);
    writeFile(root + "Tool.exe", "MZ");
    ASSERT_EQ(mkfifo((root + "Fifo.cue").c_str(), 0644), 0);
    const std::vector<std::string> names = {"Alpha.cue",          "Beta.cue",           "Gamma.cue",
                                            "crashes-reader.cue", "forbidden-call.cue", "Tool.exe"};
    cdsearchAddDirectory(root.c_str());
    scanAndRequest();
    ASSERT_TRUE(settledBut(0)) << "the FIFO sheet held its reader";
    EXPECT_EQ(ids(names),
              (std::vector<std::string>{"SLUS-00330", "SCES-01234", "SLPS-00001", "?", "?", "?"}));
    // Asked again, nothing is read: the crashing disc is not tried twice more.
    gameidsRequest(cdsearchImageFullPaths(), false);
    EXPECT_LE(gameidsPending(), 1u);
    // The IDs reach the scan helper in batches, in the order they arrived.
    ASSERT_TRUE(turnUntil([] {
        const std::string file = testsupport::readFile("discWren.images");
        return !cdsearchScanBusy() && cdsearchScanWait(0) &&
               file.find("SLUS-00330") != std::string::npos &&
               file.find("SCES-01234") != std::string::npos &&
               file.find("SLPS-00001") != std::string::npos;
    }));
    const std::vector<std::string> kept = {"SLUS-00330", "SCES-01234", "SLPS-00001", "?", "?", "?"};
    EXPECT_EQ(keptIds(names), kept);

    // A second start: the kept IDs show with the kept names, before any read;
    // so they do with the list read ahead on a thread, as the program starts,
    // and a list read ahead in another folder (here an empty one) is not taken.
    const std::string elsewhere = scratch.path() + "/elsewhere/";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
    writeFile(elsewhere + "discWren.images", std::string("discWren image list 2\nE0 0") + '\0');
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    for (const std::string& ahead : {std::string(), elsewhere, std::string(here) + "/"}) {
        gameidsStop();
        cdsearchClear();
        cdsearchAddDirectory(root.c_str());
        if (!ahead.empty()) cdsearchReadKeptSoon(ahead);
        ASSERT_EQ(cdsearchLoadKept(), 7) << ahead;
        EXPECT_EQ(ids(names), kept);
    }

    // Beta's disc swapped for another with its stamps put back: a check reads
    // nothing and keeps the ID. Gamma's changed for real: read again.
    struct stat before, cue;
    ASSERT_EQ(stat((root + "Beta.bin").c_str(), &before), 0);
    ASSERT_EQ(stat((root + "Beta.cue").c_str(), &cue), 0);
    disc("Beta", "SCES_043.21");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    const timespec cueTimes[2] = {cue.st_atim, cue.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "Beta.bin").c_str(), times, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "Beta.cue").c_str(), cueTimes, 0), 0);
    disc("Gamma", "SLPS_000.02");
    const timespec later[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "Gamma.bin").c_str(), later, 0), 0);
    unlink((root + "Fifo.cue").c_str());
    scanAndRequest();
    ASSERT_TRUE(settledBut(0));
    EXPECT_EQ(ids(names),
              (std::vector<std::string>{"SLUS-00330", "SCES-01234", "SLPS-00002", "?", "?", "?"}));
    EXPECT_EQ(states(names),
              (std::vector<std::string>{"", "", "", "unreadable", "unreadable", ""}));

    // "Update" with Alpha's data file gone: its ID goes, and the crashing disc
    // is tried again (and fails again).
    ASSERT_EQ(unlink((root + "Alpha.bin").c_str()), 0);
    scanAndRequest(true);
    EXPECT_EQ(states(names), (std::vector<std::string>{"waiting", "waiting", "waiting", "waiting",
                                                       "waiting", ""}));
    ASSERT_TRUE(settledBut(0));
    EXPECT_EQ(ids(names),
              (std::vector<std::string>{"?", "SCES-04321", "SLPS-00002", "?", "?", "?"}));
    EXPECT_EQ(states(names),
              (std::vector<std::string>{"unreadable", "", "", "unreadable", "unreadable", ""}));
}

// Discs on a share whose reads hang, beside local ones: readers start beside
// the hanging ones, so the local IDs arrive; the hanging reads are given up
// while the share still holds them, and the discs do not answer until
// "Update" reads them again. "Get ID" gives up the same way, and a click on
// another disc gives up the running read for the new one.
TEST_F(GameidsRead, AReadThatHangsHoldsOnlyItsOwnDisc) {
    SKIP_WITHOUT_SLOWFS();
    const std::string source = scratch.path() + "/nas";
    std::vector<std::string> far, farIds;
    for (int n = 0; n < 10; n++) {
        far.push_back("Far" + std::to_string(n) + ".cue");
        farIds.push_back("SLUS-0000" + std::to_string(n));
        ASSERT_FALSE(testsupport::writeDisc(source, "Far" + std::to_string(n),
                                            "SLUS_000.0" + std::to_string(n))
                         .empty());
    }
    for (int n = 0; n < 5; n++) {
        nearNames.push_back("Near" + std::to_string(n) + ".cue");
        nearIds.push_back("SCES-0000" + std::to_string(n));
        disc("Near" + std::to_string(n), "SCES_000.0" + std::to_string(n));
    }
    testsupport::SlowFs share(source, 0, false, true);
    ASSERT_TRUE(share.mounted()) << share.error();
    const std::string nas = share.path() + "/";
    cdsearchAddDirectory(root.c_str());
    cdsearchAddDirectory(nas.c_str());
    cdsearchScanRequest(false);
    ASSERT_TRUE(cdsearchScanWait(60000));

    // The eight readers end up on far discs, the one asked for first among
    // them; then more start beside them.
    ASSERT_TRUE(share.hold());
    gameidsSetWaits(600000, 600000);
    gameidsRequest(cdsearchImageFullPaths(), false, {nas + far[9]});
    std::vector<std::string> held(8);
    for (std::string& path : held) ASSERT_TRUE(share.waitHeld(&path));
    EXPECT_NE(std::find(held.begin(), held.end(), "/" + far[9]), held.end());
    gameidsSetWaits(50, 600000);
    ASSERT_TRUE(turnUntil([&] { return ids(nearNames) == nearIds; }));
    EXPECT_EQ(states(far, nas), std::vector<std::string>(10, "waiting"));

    // Given up while still held: nothing waits, and the discs do not answer.
    gameidsSetWaits(50, 100);
    ASSERT_TRUE(settledBut(0));
    EXPECT_EQ(states(far, nas), std::vector<std::string>(10, "no answer"));
    EXPECT_EQ(ids(far, nas), std::vector<std::string>(10, "?"));

    // Get ID on a far disc, then on a near one: the first read is given up
    // without an answer; the second answers. A far disc alone does not answer.
    static std::vector<std::string> answers;
    answers.clear();
    auto done = [](GameIdResult result, const std::string& id, void*) {
        answers.push_back(result == GAMEID_NO_ANSWER ? "no answer" : id);
    };
    gameidsSetWaits(50, 600000);
    ASSERT_TRUE(gameidsReadNow(nas + far[0], false, done, nullptr));
    ASSERT_TRUE(share.waitHeld());
    EXPECT_FALSE(gameidsReadNow(nas + far[0], false, done, nullptr))
        << "the same disc is being read";
    ASSERT_TRUE(gameidsReadNow(root + nearNames[0], false, done, nullptr));
    ASSERT_TRUE(turnUntil([] { return !gameidsReadingNow(); }));
    gameidsSetWaits(50, 100);
    ASSERT_TRUE(gameidsReadNow(nas + far[1], false, done, nullptr));
    ASSERT_TRUE(turnUntil([] { return !gameidsReadingNow(); }));
    EXPECT_EQ(answers, (std::vector<std::string>{nearIds[0], "no answer"}));

    // "Update" reads the far discs again once the share answers.
    ASSERT_TRUE(share.release());
    gameidsSetWaits(0, 0);
    gameidsRequest(cdsearchImageFullPaths(), true);
    EXPECT_EQ(states(far, nas), std::vector<std::string>(10, "waiting"));
    ASSERT_TRUE(settledBut(0));
    EXPECT_EQ(ids(far, nas), farIds);
}

// Without any helper to be had, no image waits for ever: each fails at once.
TEST_F(GameidsRead, WithoutHelpersNoImageWaits) {
    std::vector<std::string> names;
    for (int n = 0; n < 20; n++) names.push_back("Disc" + std::to_string(n) + ".cue");
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(root + name);
    helperSetProgram("/nonexistent/discWrenHelper");
    gameidsRequest(paths, false);
    bool settled = settledBut(0);
    helperSetProgram(nullptr);
    ASSERT_TRUE(settled);
    EXPECT_EQ(states(names), std::vector<std::string>(20, "unreadable"));
}

// Get ID reads at once, whatever is known, an image by its sheet and a loop
// device as a device; its ID, or that it has none, enters the table.
TEST_F(GameidsRead, GetIdReadsAnImageAndALoopDevice) {
    disc("Beta", "PSX.EXE");
    disc("Alpha", "SLUS_003.30");
    struct Answer {
        bool done = false;
        GameIdResult result = GAMEID_UNREADABLE;
        std::string id;
    };
    auto readNow = [](const std::string& disc) {
        static Answer answer;
        answer = Answer();
        auto done = [](GameIdResult result, const std::string& id, void*) {
            answer = {true, result, id};
        };
        EXPECT_TRUE(gameidsReadNow(disc, false, done, nullptr));
        EXPECT_TRUE(gameidsReadingNow());
        EXPECT_FALSE(gameidsReadNow(disc, false, done, nullptr)) << "one read at a time";
        EXPECT_TRUE(turnUntil([] { return answer.done; }));
        return answer;
    };
    gameidsTake(root + "Alpha.cue", "SLUS-99999");
    Answer image = readNow(root + "Alpha.cue");
    EXPECT_EQ(image.result, GAMEID_FOUND);
    EXPECT_EQ(image.id, "SLUS-00330");
    EXPECT_EQ(*idOf(root + "Alpha.cue"), "SLUS-00330");
    EXPECT_EQ(readNow(root + "Missing.cue").result, GAMEID_UNREADABLE);
    gameidsTake(root + "Beta.cue", "SLUS-99999");
    EXPECT_EQ(readNow(root + "Beta.cue").result, GAMEID_NONE);
    EXPECT_EQ(*idOf(root + "Beta.cue"), "") << "a disc that has no ID any more shows none";

    writeFile("Alpha.iso", lastIso);
    std::string why, device = attachLoop("Alpha.iso", &why);
    if (device.empty()) GTEST_SKIP() << why;
    Answer loop = readNow(device);
    EXPECT_EQ(system(("losetup -d " + device).c_str()), 0);
    EXPECT_EQ(loop.result, GAMEID_FOUND);
    EXPECT_EQ(loop.id, "SLUS-00330");
}

}  // namespace
