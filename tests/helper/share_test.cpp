// Image folders on a file system whose changes are not reported to this
// machine (a network share, here a slow FUSE view of a scratch folder): every
// build sees what is there now, in every subfolder.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "helper/scan/mounts.h"
#include "helper/scan/scantree.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::SlowFs;
using testsupport::SlowFsOptions;
using testsupport::writeFile;

namespace {

class Share : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SLOWFS();
        source = scratch.path() + "/server";
        writeFile(source + "/sub/deeper/old.cue", "");
        writeFile(source + "/top.cue", "");
    }

    // The names listed after a build (a keystroke) or an "Update" scan.
    std::vector<std::string> names(bool rereadAll) {
        if (rereadAll) {
            cdsearchScanRequest(true);
            cdsearchScanWait(-1);
            cdsearchRefilter();
        } else {
            cdsearchBuild();
        }
        std::vector<std::string> list;
        for (int i = 1; i < cdsearchItemQuantity(); ++i) list.push_back(cdsearchItemGet(i)->name);
        return list;
    }

    // Builds a few times (enough for local folders to be trusted to watches),
    // then changes the deepest folder on the "server" and checks what shows.
    void changesShow(const std::string& folder) {
        cdsearchAddDirectory(folder.c_str());
        for (int n = 0; n < 3; ++n) {
            ASSERT_EQ(names(false), (std::vector<std::string>{"old.cue", "top.cue"}));
        }
        writeFile(source + "/sub/deeper/new.cue", "");
        EXPECT_EQ(names(false), (std::vector<std::string>{"new.cue", "old.cue", "top.cue"}));
        unlink((source + "/sub/deeper/old.cue").c_str());
        EXPECT_EQ(names(true), (std::vector<std::string>{"new.cue", "top.cue"}));
        writeFile(source + "/sub/added.ccd", "");
        EXPECT_EQ(names(true), (std::vector<std::string>{"added.ccd", "new.cue", "top.cue"}));
    }

    // The names a build of the cached tree lists under dir.
    static std::vector<std::string> treeNames(catalogue::ScanTree& tree, const std::string& dir) {
        std::vector<catalogue::ScanItem> items;
        tree.beginBuild();
        tree.scan(dir, items);
        tree.endBuild();
        std::vector<std::string> list;
        for (const catalogue::ScanItem& item : items) list.push_back(item.name);
        std::sort(list.begin(), list.end());
        return list;
    }

    testsupport::ScratchDir scratch;
    testsupport::CatalogueLists lists;
    std::string source;
};

// The threads of this process.
size_t threadCount() { return testsupport::folderNames("/proc/self/task").size(); }

TEST_F(Share, ChangesBelowTheRootOfAShareShow) {
    SlowFs share(source);
    ASSERT_TRUE(share.mounted()) << share.error();
    changesShow(share.path() + "/");
}

// A share mounted inside a local image folder: the local folders may be
// watched, the share's may not.
TEST_F(Share, ChangesOnAShareMountedInsideALocalFolderShow) {
    std::string local = scratch.path() + "/local/";
    writeFile(local + "here.exe", "");
    SlowFs share(source);
    ASSERT_TRUE(share.mounted()) << share.error();
    std::string mountPoint = local + "nas";
    writeFile(mountPoint + "/", "");
    ASSERT_EQ(mount(share.path().c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr), 0)
        << strerror(errno);
    cdsearchAddDirectory(local.c_str());
    for (int n = 0; n < 3; ++n) {
        ASSERT_EQ(names(false), (std::vector<std::string>{"here.exe", "old.cue", "top.cue"}));
    }
    writeFile(source + "/sub/deeper/new.cue", "");
    EXPECT_EQ(names(false),
              (std::vector<std::string>{"here.exe", "new.cue", "old.cue", "top.cue"}));
    cdsearchShutdown();  // lets go of the watches before the bind goes
    EXPECT_EQ(umount2(mountPoint.c_str(), MNT_DETACH), 0);
    cdsearchInit();
}

// A share mounted into a watched image folder, or onto it, raises no change
// notice: the mount table says which cached folders to read again. The image
// folder is named through a symbolic link, the table gives real paths.
TEST_F(Share, MountsInAndOnAWatchedFolderShowAtTheNextBuild) {
    std::string local = scratch.path() + "/local", linked = scratch.path() + "/linked/";
    writeFile(local + "/nas/", "");
    writeFile(local + "/here.exe", "");
    ASSERT_EQ(symlink(local.c_str(), linked.substr(0, linked.size() - 1).c_str()), 0);
    SlowFs share(source);
    ASSERT_TRUE(share.mounted()) << share.error();
    using Names = std::vector<std::string>;
    const Names localOnly = {"here.exe"}, shareOnly = {"old.cue", "top.cue"};
    const Names both = {"here.exe", "old.cue", "top.cue"};
    struct Unmount {  // nothing stays mounted should a step fail
        std::string local;
        ~Unmount() {
            for (const std::string& at : {local, local + "/nas", local})
                umount2(at.c_str(), MNT_DETACH);
        }
    } unmount{local};
    catalogue::MountWatch watch;
    catalogue::ScanTree tree;
    for (int n = 0; n < 3; ++n) ASSERT_EQ(treeNames(tree, linked), localOnly);  // watches set

    struct Step {
        std::string at;  // mounted there, or unmounted when mounted is false
        bool mounted;
        Names expected;
    } steps[] = {
        {local + "/nas", true, both},
        {local, true, shareOnly},
        {local, false, both},
        {local + "/nas", false, localOnly},
    };
    for (const Step& step : steps) {
        if (step.mounted) {
            ASSERT_EQ(mount(share.path().c_str(), step.at.c_str(), nullptr, MS_BIND, nullptr), 0)
                << strerror(errno);
        } else {
            ASSERT_EQ(umount2(step.at.c_str(), MNT_DETACH), 0) << strerror(errno);
        }
        // One change of the table, reported once.
        EXPECT_EQ(watch.changed(), Names{step.at});
        EXPECT_EQ(watch.changed(), Names{});
        EXPECT_EQ(treeNames(tree, linked), step.expected) << step.at;
        EXPECT_EQ(treeNames(tree, linked), step.expected) << step.at;
    }
}

// A listing that breaks off with an I/O error is a folder that cannot be
// read: reported, none of its images listed, and the scan not complete.
TEST_F(Share, AListingCutShortIsReportedAndItsImagesLeaveTheList) {
    for (const char* name : {"a.cue", "b.cue", "c.cue"}) writeFile(source + "/sub/" + name, "");
    SlowFsOptions flaky;
    flaky.failListing = "/sub";
    SlowFs share(source, 0, false, false, flaky);
    ASSERT_TRUE(share.mounted()) << share.error();
    using Reports = std::vector<std::pair<std::string, int>>;
    Reports reported;
    catalogue::ScanReport report;
    report.unreadable = [](const std::string& folder, int error, void* to) {
        static_cast<Reports*>(to)->push_back({folder, error});
    };
    report.data = &reported;
    catalogue::ScanTree tree;
    tree.setReport(report);
    for (int build = 0; build < 2; ++build) {  // nothing of it is kept for the next build
        reported.clear();
        std::vector<catalogue::ScanItem> items;
        tree.beginBuild();
        EXPECT_FALSE(tree.scan(share.path() + "/", items));
        tree.endBuild();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].name, "top.cue");
        EXPECT_EQ(reported, (Reports{{share.path() + "/sub/", EIO}}));
    }
}

// Listing threads end once idle, and with the share they list: a share
// mounted again and again leaves none behind. With no thread to be had, the
// walk lists the share itself.
TEST_F(Share, ListingThreadsEndWhenIdleAndAreNotNeeded) {
    const std::vector<std::string> expected = {"old.cue", "top.cue"};
    size_t before = threadCount();
    {
        catalogue::ScanTree tree;
        for (int mount = 0; mount < 3; ++mount) {
            SlowFs share(source);
            ASSERT_TRUE(share.mounted()) << share.error();
            ASSERT_EQ(treeNames(tree, share.path() + "/"), expected);
        }
        auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (threadCount() > before && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(threadCount(), before);
    }

    chmod(scratch.path().c_str(), 0755);
    SlowFsOptions shared;
    shared.allowOther = true;
    SlowFs share(source, 0, false, false, shared);
    ASSERT_TRUE(share.mounted()) << share.error();
    // Another user, allowed no more processes than it has: no thread starts.
    EXPECT_EQ(
        testsupport::inChild([&] {
            struct rlimit none = {0, 0};
            if (setgid(65534) != 0 || setuid(65534) != 0 || setrlimit(RLIMIT_NPROC, &none) != 0)
                return 99;
            catalogue::ScanTree tree;
            bool same = treeNames(tree, share.path() + "/") == expected;
            return same && treeNames(tree, share.path() + "/") == expected ? 0 : 1;
        }),
        0);
}

}  // namespace
