#include "util/path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>

namespace {

struct Edit {
    const char* input;
    const char* expected;
};

// Runs an in-place edit on a copy in a roomy buffer.
template <typename Function>
void checkEdits(Function edit, std::initializer_list<Edit> cases) {
    for (const Edit& c : cases) {
        char buffer[64];
        strcpy(buffer, c.input);
        edit(buffer);
        EXPECT_STREQ(buffer, c.expected) << "from " << c.input;
    }
}

TEST(PathTest, SplittingAndSlashes) {
    checkEdits(reduceToPath, {{"/dev/cdrom", "/dev/"}, {"cdrom", ""}, {"/", "/"}, {"", ""}});
    // A name longer than the distance it moves overlaps its old place; the
    // sanitizer rejects a copy that does not allow that.
    checkEdits(reduceToName, {{"/dev/cdrom", "cdrom"},
                              {"/img/", ""},
                              {"/", ""},
                              {"cdrom", "cdrom"},
                              {"/a/abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopqrstuvwxyz"}});
    checkEdits(addSlashToDir, {{"/img", "/img/"}, {"/img/", "/img/"}, {"", ""}});
    checkEdits(removeSlashFromDir,
               {{"/dev/sr0/", "/dev/sr0"}, {"/", ""}, {"//dev//", "//dev/"}, {"", ""}});
    removeSlashFromDir(nullptr);
}

TEST(PathTest, Extensions) {
    for (const char* name : {"x.CuE", "GAME.CUE", ".cue"}) {
        EXPECT_EQ(checkExtension(name, ".cue"), 1) << name;
    }
    for (const char* name : {"cue", "", "x.cue.bak", "xcue"}) {
        EXPECT_EQ(checkExtension(name, ".cue"), 0) << name;
    }
    checkEdits([](char* s) { changeExtension(s, ".bin"); }, {{"game.cue", "game.bin"},
                                                             {"game", "game.bin"},
                                                             {"a.b.c", "a.b.bin"},
                                                             {"/d.x/game", "/d.bin"}});
    // The catalogue's images: descriptors and executables, any case.
    for (const char* name : {"a.cue", "B.CCD", "c.Toc", "d.mds", "e.EXE", ".cue", "/x/y.cue"})
        EXPECT_TRUE(isImageName(name)) << name;
    for (const char* name : {"a.bin", "a.img", "a.mdf", "a.cue.bak", "cue", "", "a.cu", "/d.cue/x"})
        EXPECT_FALSE(isImageName(name)) << name;
}

TEST(TimerTest, WaitsTheGivenSeconds) {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    EXPECT_EQ(timerWait(0.05), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));

    start = Clock::now();
    for (double nothing : {0.0, -3.0, std::nan("")}) EXPECT_EQ(timerWait(nothing), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
