// The slow FUSE view that stands in for a network share: it shows the source
// folder as it is now, read-only, and holds listings until released.
#include "support/slowfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "support/testsupport.h"

using testsupport::SlowFs;
using testsupport::writeFile;

namespace {

struct Entry {
    ino_t ino;
    unsigned char type;
    bool operator==(const Entry& other) const { return ino == other.ino && type == other.type; }
};
using Listing = std::map<std::string, Entry>;

// Names, inode numbers and types as readdir gives them; "." and ".." left out.
Listing list(const std::string& dir) {
    Listing entries;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") entries[name] = {entry->d_ino, entry->d_type};
        }
        closedir(d);
    }
    return entries;
}

class SlowFsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SLOWFS();
        source = scratch.path();
        writeFile(source + "/disc/deeper/", "");
        writeFile(source + "/disc/game.cue", "FILE \"game.bin\" BINARY\n");
        writeFile(source + "/disc/game.bin", std::string(70000, 'x'));
        ASSERT_EQ(symlink("disc", (source + "/link").c_str()), 0);
    }

    testsupport::ScratchDir scratch;
    std::string source;
};

// What the view shows, folder by folder, equals the source at that moment:
// names, inode numbers, types, status and bytes; and nothing can be written.
TEST_F(SlowFsTest, ShowsTheSourceAsItIsNow) {
    SlowFs fs(source, 100);
    ASSERT_TRUE(fs.mounted()) << fs.error();
    const std::string view = fs.path();

    auto expectSame = [&](const char* when) {
        for (const char* folder : {"", "/disc", "/disc/deeper"}) {
            Listing there = list(source + folder), here = list(view + folder);
            EXPECT_FALSE(there.empty() && *folder == '\0') << when;
            EXPECT_EQ(here, there) << when << ": listing of '" << folder << "'";
            for (const auto& [name, entry] : there) {
                struct stat a, b;
                std::string relative = testsupport::joinPath(folder, name);
                ASSERT_EQ(lstat((source + relative).c_str(), &a), 0);
                ASSERT_EQ(lstat((view + relative).c_str(), &b), 0) << when << ": " << relative;
                EXPECT_EQ(b.st_ino, a.st_ino) << when << ": " << relative;
                EXPECT_EQ(b.st_mode, a.st_mode) << when << ": " << relative;
                EXPECT_EQ(b.st_size, a.st_size) << when << ": " << relative;
            }
        }
    };
    expectSame("as made");

    // Changes on the "server" show at the next look, without waiting, even
    // for names looked up in vain just before.
    struct stat st;
    EXPECT_NE(lstat((view + "/disc/deeper/added.CUE").c_str(), &st), 0);
    EXPECT_NE(lstat((view + "/new folder").c_str(), &st), 0);
    writeFile(source + "/disc/deeper/added.CUE", "x");
    mkdir((source + "/new folder").c_str(), 0755);
    unlink((source + "/disc/game.bin").c_str());
    expectSame("after changes");
    EXPECT_NE(lstat((view + "/disc/game.bin").c_str(), &st), 0);
    writeFile(source + "/disc/game.bin", std::string(70000, 'y'));
    expectSame("after the file came back");
    rmdir((source + "/new folder").c_str());
    writeFile(source + "/new folder", "now a file");
    expectSame("after a folder became a file");

    EXPECT_EQ(testsupport::readFile(view + "/disc/game.bin"), std::string(70000, 'y'));
    char target[16] = {};
    EXPECT_EQ(readlink((view + "/link").c_str(), target, sizeof target - 1), 4);
    EXPECT_STREQ(target, "disc");

    // Every way of writing fails as on a read-only file system.
    const std::string game = view + "/disc/game.cue";
    struct Write {
        const char* what;
        std::function<int()> call;
    } writes[] = {
        {"open for writing", [&] { return open(game.c_str(), O_WRONLY); }},
        {"create", [&] { return open((view + "/new.cue").c_str(), O_WRONLY | O_CREAT, 0644); }},
        {"mkdir", [&] { return mkdir((view + "/made").c_str(), 0755); }},
        {"unlink", [&] { return unlink(game.c_str()); }},
        {"rename", [&] { return rename(game.c_str(), (view + "/moved").c_str()); }},
        {"chmod", [&] { return chmod(game.c_str(), 0600); }},
    };
    for (const Write& write : writes) {
        errno = 0;
        int result = write.call();
        EXPECT_EQ(result, -1) << write.what;
        EXPECT_EQ(errno, EROFS) << write.what;
        if (result >= 0) close(result);
    }
    EXPECT_EQ(list(source), list(view));
}

// Look-ups wait at least the delay each, however busy the machine is.
TEST_F(SlowFsTest, LookUpsTakeTheDelay) {
    SlowFs fs(source, 20000);
    ASSERT_TRUE(fs.mounted()) << fs.error();
    auto start = std::chrono::steady_clock::now();
    struct stat st;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(stat((fs.path() + "/disc").c_str(), &st), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5 * 20));
}

// A held listing keeps its reader waiting while other calls still answer,
// until release; holding works from the start and when switched on later.
TEST_F(SlowFsTest, HeldListingWaitsForRelease) {
    for (bool fromStart : {true, false}) {
        SCOPED_TRACE(fromStart ? "held from the start" : "held later");
        SlowFs fs(source, 0, fromStart);
        ASSERT_TRUE(fs.mounted()) << fs.error();
        if (!fromStart) {
            EXPECT_EQ(list(fs.path() + "/disc").size(), 3u);  // not held yet
            ASSERT_TRUE(fs.hold());
        }
        std::atomic<bool> done{false};
        size_t seen = 0;
        std::thread reader([&] {
            seen = list(fs.path() + "/disc").size();
            done = true;
        });
        std::string held;
        EXPECT_TRUE(fs.waitHeld(&held));
        EXPECT_EQ(held, "/disc");

        // Status calls still answer while the reader waits.
        struct stat st;
        EXPECT_EQ(stat((fs.path() + "/disc/game.cue").c_str(), &st), 0);
        EXPECT_FALSE(done);

        EXPECT_TRUE(fs.release());
        reader.join();
        EXPECT_EQ(seen, 3u);
        EXPECT_EQ(list(fs.path()).size(), 2u);  // released for good
    }
}

// Going away while a listing is held frees the reader and leaves no mount.
TEST_F(SlowFsTest, UnmountsWhileHeld) {
    std::string point;
    std::atomic<bool> done{false};
    std::thread reader;
    {
        SlowFs fs(source, 0, true);
        ASSERT_TRUE(fs.mounted()) << fs.error();
        point = fs.path();
        EXPECT_TRUE(testsupport::isMountPoint(point));
        reader = std::thread([&] {
            list(point);
            done = true;
        });
        EXPECT_TRUE(fs.waitHeld());
    }
    reader.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(testsupport::isMountPoint(point));
    struct stat st;
    EXPECT_NE(lstat(point.c_str(), &st), 0) << "mount point left behind";
}

}  // namespace
