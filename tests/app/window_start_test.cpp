// bench::startWindow, the exec-to-window timing of the start-up benchmarks,
// run on the real dialog and on programs that never put up a window.
#include "support/window_start.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/testsupport.h"

using testsupport::readFile;
using testsupport::ScratchDir;

namespace {

const double kLimitMs = 120000;

TEST(WindowStart, TimesTheDialogsWindowAndItsAnswer) {
    ScratchDir dir;
    testsupport::writeFile("cfgDiscWren", readFile(DISCWREN_EXECUTABLE));
    chmod("cfgDiscWren", 0755);
    bench::WindowStart start =
        bench::startWindow({dir.path() + "/cfgDiscWren"}, dir.path(), kLimitMs);
    EXPECT_GT(start.mappedMs, 0);
    // The answer comes from the dialog's main loop, after its window is up.
    EXPECT_GE(start.answeredMs, start.mappedMs);
    EXPECT_GT(start.peakKilobytes, 1024);
    EXPECT_GT(bench::startToAnswerMs({dir.path() + "/cfgDiscWren"}, dir.path(), kLimitMs), 0);
}

TEST(WindowStart, ProgramsWithoutAWindowEndTheWaitWhenTheyEnd) {
    ScratchDir dir;
    const std::vector<std::vector<std::string>> programs = {
        {"true"},
        {"sh", "-c", "exit 3"},
        {dir.path() + "/missing"},
    };
    for (const auto& argv : programs) {
        auto before = bench::Clock::now();
        bench::WindowStart start = bench::startWindow(argv, dir.path(), kLimitMs);
        double took = bench::millisecondsSince(before);
        EXPECT_LT(start.mappedMs, 0) << argv[0];
        EXPECT_LT(start.answeredMs, 0) << argv[0];
        // Well inside the limit: the program's end, not the limit, ended the wait.
        EXPECT_LT(took, kLimitMs / 2) << argv[0];
    }
    // A program that neither ends nor shows a window is given up at the limit.
    bench::WindowStart sleeper = bench::startWindow({"sleep", "600"}, dir.path(), 200);
    EXPECT_LT(sleeper.mappedMs, 0);
}

}  // namespace
