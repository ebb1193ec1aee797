// The image scan and the CD list it yields, on real folder trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "clients/cdscan.h"
#include "containers/linkedlist.h"
#include "helper/scan/scantree.h"
#include "protocol/messages.h"
#include "support/helpers.h"
#include "support/testsupport.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

using Strings = std::vector<std::string>;

class Scan : public ::testing::Test {
protected:
    void SetUp() override { root = scratch.path() + "/"; }

    // Makes the folders on the way and an empty file.
    void touch(const std::string& relative) { writeFile(root + relative, ""); }

    // The CD list after a build.
    Strings build(const char* filter = "") {
        cdsearchSetFilter(filter);
        cdsearchBuild();
        return shown();
    }

    // The CD list as it shows now, each entry as path + name with the scratch
    // folder written as "~/".
    Strings shown() {
        Strings list = testsupport::catalogueItems();
        for (std::string& full : list)
            if (full.compare(0, root.size(), root) == 0) full = "~/" + full.substr(root.size());
        return list;
    }

    testsupport::ScratchDir scratch;
    testsupport::CatalogueLists lists;
    std::string root;
};

const char noCd[] = "No CD (bios shell)";

// A scan helper that dies drops its scan, not the images already known, and
// its request goes to another one.
TEST_F(Scan, ADeadHelperLeavesTheKnownImagesAndIsStartedAgain) {
    touch("a.cue");
    cdsearchAddDirectory(root.c_str());
    const Strings known = {noCd, "~/a.cue"};
    ASSERT_EQ(build(), known);
    int first = cdscanHelperPid();
    ASSERT_GT(first, 0);
    testsupport::expectHelperDeaths(SIGKILL);
    ASSERT_EQ(kill(first, SIGKILL), 0);
    touch("b.cue");
    // A request sent before the dialog's side sees it gone goes to the next one.
    EXPECT_EQ(build(), (Strings{noCd, "~/a.cue", "~/b.cue"}));
    EXPECT_NE(cdscanHelperPid(), first);
}

// A scan asked from a folder the helper cannot enter is answered all the
// same, and the images known stay; once the folder can be entered again the
// next scan works. As another user who owns the folders: root enters anyway.
TEST_F(Scan, ARequestFromAFolderThatCannotBeEnteredIsAnsweredAndKeepsTheImages) {
    touch("home/");
    touch("games/a.cue");
    chmod(root.c_str(), 0755);
    const std::string home = root + "home";
    EXPECT_EQ(testsupport::inChild([&] {
                  if (geteuid() == 0 && (chown(home.c_str(), 65534, 65534) != 0 ||
                                         chown((root + "games").c_str(), 65534, 65534) != 0 ||
                                         setgid(65534) != 0 || setuid(65534) != 0))
                      _exit(99);
                  cdsearchShutdown();  // a catalogue and helpers of the child's own
                  cdsearchInit();
                  cdsearchAddDirectory((root + "games/").c_str());
                  if (chdir(home.c_str()) != 0) _exit(98);
                  int failed = build() == Strings{noCd, "~/games/a.cue"} ? 0 : 1;
                  touch("games/b.cue");
                  chmod(home.c_str(), 0600);
                  cdsearchScanRequest(false);
                  if (!cdsearchScanWait(20000)) _exit(2);  // never busy for good
                  cdsearchRefilter();
                  failed |= shown() == Strings{noCd, "~/games/a.cue"} ? 0 : 4;
                  chmod(home.c_str(), 0700);
                  failed |= build() == Strings{noCd, "~/games/a.cue", "~/games/b.cue"} ? 0 : 8;
                  return failed;
              }),
              0);
}

TEST_F(Scan, ListsImagesOfEveryKindSortedAfterTheNoDiscEntryAndDevices) {
    for (const char* file : {"b/Zeta.CUE", "a/alpha.ccd", "a/Beta.toc", "c/d/e/gamma.Mds",
                             "run.exe", "track.bin", "data.img", "x.cue.bak", "cue", "b/.cue"}) {
        touch(file);
    }
    cdsearchAddDirectory(root.c_str());
    for (const char* device : {"/dev/sr1", "/dev/cdrom", "/dev/sr1", "/dev/SR1"}) {
        cdsearchAddDevice(device);
    }
    // Names equal but for case keep the order in which they were added.
    EXPECT_EQ(build(),
              (Strings{noCd, "/dev/cdrom", "/dev/sr1", "/dev/SR1", "~/b/.cue", "~/a/alpha.ccd",
                       "~/a/Beta.toc", "~/c/d/e/gamma.Mds", "~/run.exe", "~/b/Zeta.CUE"}));
    // The device list itself keeps the sorted order from then on.
    EXPECT_STREQ(cdsearchDeviceGet(0)->name, "cdrom");
    EXPECT_STREQ(cdsearchDeviceGet(2)->name, "SR1");

    struct Case {
        const char* filter;
        Strings expected;
    } cases[] = {
        {"XYZ", {}},
        {"bios", {noCd}},
        {"NO CD", {noCd}},
        {"SR", {"/dev/sr1", "/dev/SR1"}},
        {"cue", {"~/b/.cue", "~/b/Zeta.CUE"}},
        {"ALPHA", {"~/a/alpha.ccd"}},
        {"dev", {}},  // the path is never searched
    };
    for (const Case& c : cases) EXPECT_EQ(build(c.filter), c.expected) << c.filter;
}

TEST_F(Scan, NestedFoldersFolderStringsAndLinks) {
    touch("games/sub/one.cue");
    touch("games/two.cue");
    touch("games/x.cue");
    touch("gamesx.cue");  // what "~/games" joined with "x.cue" would name
    touch("elsewhere/three.cue");
    ASSERT_EQ(symlink((root + "elsewhere").c_str(), (root + "games/linked").c_str()), 0);
    ASSERT_EQ(symlink((root + "elsewhere").c_str(), (root + "games/folder.cue").c_str()), 0);
    ASSERT_EQ(symlink("/nowhere/at/all", (root + "games/dangling.CUE").c_str()), 0);

    cdsearchAddDirectory((root + "games/").c_str());
    cdsearchAddDirectory((root + "games/sub/").c_str());
    EXPECT_EQ(build(),
              (Strings{noCd, "~/games/dangling.CUE", "~/games/folder.cue", "~/games/sub/one.cue",
                       "~/games/sub/one.cue", "~/games/two.cue", "~/games/x.cue"}));

    // A folder without its final '/' is read as the folder; the list keeps it as given.
    cdsearchClear();
    cdsearchAddDirectory((root + "games").c_str());
    EXPECT_EQ(build(), (Strings{noCd, "~/games/dangling.CUE", "~/games/folder.cue",
                                "~/games/sub/one.cue", "~/games/two.cue", "~/games/x.cue"}));
    EXPECT_EQ(std::string(cdsearchDirectoryGet(0)), root + "games");
}

TEST_F(Scan, FolderThatCannotBeReadIsReportedAndTheOthersStillScan) {
    touch("open/a.cue");
    touch("locked/hidden.cue");
    touch("listonly/unseen.cue");
    touch("listonly/deeper/unseen.cue");
    chmod(root.c_str(), 0755);
    chmod((root + "locked").c_str(), 0);
    chmod((root + "listonly").c_str(), 0444);  // names can be read, entries not examined
    cdsearchAddDirectory((root + "missing/").c_str());
    cdsearchAddDirectory(root.c_str());
    std::string report = root + "report.txt";
    writeFile(report, "");
    chmod(report.c_str(), 0666);

    // As another user: the tests run as root, who may read anything.
    const int status = testsupport::inChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        int err = open(report.c_str(), O_WRONLY);
        if (err < 0 || dup2(err, 2) < 0) _exit(98);
        cdsearchShutdown();  // a catalogue and helpers of the child's own
        cdsearchInit();
        cdsearchAddDirectory((root + "missing/").c_str());
        cdsearchAddDirectory(root.c_str());
        bool ok = true;
        for (int round = 0; round < 3; ++round) {  // cached builds report it again
            fprintf(stderr, "build\n");
            ok = ok && build() == Strings{noCd, "~/open/a.cue"};
        }
        // A caller's report gets the same folders and errors, in the same
        // order; the progress ends at every image found. A tree with a folder
        // that cannot be read is not scanned completely.
        catalogue::ScanTree tree;
        catalogue::ScanReport report;
        report.unreadable = [](const std::string& folder, int error, void*) {
            fprintf(stderr, "%s: %s\n", folder.c_str(), strerror(error));
        };
        int found = -1;
        report.progress = [](int count, void* last) { *static_cast<int*>(last) = count; };
        report.data = &found;
        tree.setReport(report);
        for (int round = 0; round < 3; ++round) {
            fprintf(stderr, "build\n");
            std::vector<catalogue::ScanItem> items;
            tree.beginBuild();
            ok = ok && !tree.scan(root + "missing/", items) && !tree.scan(root, items);
            ok = ok && !tree.scan(root + "missing", items) && tree.scan(root + "open", items);
            tree.endBuild();
            ok = ok && items.size() == 1 && items[0].path == root + "open/" && found == 1;
        }
        return ok ? 0 : 1;
    });
    chmod((root + "locked").c_str(), 0755);
    chmod((root + "listonly").c_str(), 0755);
    EXPECT_EQ(status, 0);
    std::string once = "build\n" + root + "missing/: No such file or directory\n" + root +
                       "locked/: Permission denied\n";
    std::string byReport = once + root + "missing: No such file or directory\n";
    EXPECT_EQ(readFile(report), once + once + once + byReport + byReport + byReport);
}

TEST_F(Scan, NamesKeepTheirBytes) {
    const std::string latin1 = "Caf\xe9 \xff\xfe.cue";
    touch(latin1);
    cdsearchAddDirectory(root.c_str());
    EXPECT_EQ(build(), (Strings{noCd, "~/" + latin1}));
}

// A folder longer than any path cannot be read, and the others still scan.
TEST_F(Scan, AFolderLongerThanAnyPathLeavesTheOthersScanned) {
    touch("a.cue");
    cdsearchAddDirectory((root + std::string(HELPER_TEXT_MAX, 'x') + "/").c_str());
    cdsearchAddDirectory(root.c_str());
    EXPECT_EQ(build(), (Strings{noCd, "~/a.cue"}));
}

// Runs body on a thread with a small stack, as a scan that recursed per
// folder level would overflow it.
void onSmallStack(void (*body)()) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 1 << 20);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* f) -> void* {
                      reinterpret_cast<void (*)()>(f)();
                      return nullptr;
                  },
                  reinterpret_cast<void*>(body)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST_F(Scan, DeepTreesAndPathsAtTheLengthLimit) {
    // About 2,000 levels, up to just under the 4095-character limit.
    std::string deep = root;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    while (deep.size() + 2 <= 4000) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
        deep += "d/";
    }
    // Names that make a path of exactly 4095 and of 4096 characters, and a
    // folder whose path with its '/' would be 4096 characters long.
    std::string fits(4095 - deep.size(), 'f'), tooLong(4096 - deep.size(), 'g');
    std::string folder(4095 - deep.size(), 'h');
    fits.replace(fits.size() - 4, 4, ".cue");
    tooLong.replace(tooLong.size() - 4, 4, ".cue");
    for (const std::string& name : {fits, tooLong, std::string("bottom.cue")}) {
        close(openat(fd, name.c_str(), O_WRONLY | O_CREAT, 0644));
    }
    ASSERT_EQ(mkdirat(fd, folder.c_str(), 0755), 0);
    close(fd);
    touch("top.cue");

    cdsearchAddDirectory(root.c_str());
    // The helper is started here: it ends with the thread that starts it.
    cdsearchBuild();
    static Strings found[3];
    onSmallStack([] {
        for (Strings& list : found) {
            cdsearchBuild();
            list = testsupport::catalogueItems();
        }
    });
    Strings expected = {noCd, deep + "bottom.cue", deep + fits, root + "top.cue"};
    for (const Strings& list : found) EXPECT_EQ(list, expected);
    EXPECT_EQ(expected[2].size(), 4095u);
    EXPECT_EQ(system(("rm -rf " + root + "d").c_str()), 0);
}

}  // namespace
