// Image folders on a file system whose changes are not reported to this
// machine (a network share, here a slow FUSE view of a scratch folder): every
// build sees what is there now, in every subfolder.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::SlowFs;
using testsupport::writeFile;

namespace {

class Share : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!SlowFs::available(&why)) GTEST_SKIP() << why;
        source = scratch.path() + "/server";
        mkdir(source.c_str(), 0755);
        mkdir((source + "/sub").c_str(), 0755);
        mkdir((source + "/sub/deeper").c_str(), 0755);
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

    testsupport::ScratchDir scratch;
    testsupport::CatalogueLists lists;
    std::string source;
};

TEST_F(Share, ChangesBelowTheRootOfAShareShow) {
    SlowFs share(source);
    ASSERT_TRUE(share.mounted()) << share.error();
    changesShow(share.path() + "/");
}

// A share mounted inside a local image folder: the local folders may be
// watched, the share's may not.
TEST_F(Share, ChangesOnAShareMountedInsideALocalFolderShow) {
    std::string local = scratch.path() + "/local/";
    mkdir(local.c_str(), 0755);
    writeFile(local + "here.exe", "");
    SlowFs share(source);
    ASSERT_TRUE(share.mounted()) << share.error();
    std::string mountPoint = local + "nas";
    mkdir(mountPoint.c_str(), 0755);
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

}  // namespace
