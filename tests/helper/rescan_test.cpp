// Rebuilds after the tree changed list exactly what a fresh scan lists.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "clients/cdscan.h"
#include "containers/linkedlist.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::catalogueItems;
using testsupport::joinPath;
using testsupport::removeTree;
using testsupport::writeFile;

namespace {

using Strings = std::vector<std::string>;

// The image kinds the catalogue lists, by their last four characters in any case.
bool isImage(const std::string& name) {
    std::string tail = name.size() < 4 ? "" : name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return tail == ".cue" || tail == ".ccd" || tail == ".toc" || tail == ".mds" || tail == ".exe";
}

// The catalogue's order on the generated (ASCII) names: letters compared
// without case up to the end of the shorter name.
bool sortsBefore(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int x = tolower(static_cast<unsigned char>(a[i])),
            y = tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return false;
}

// A plain recursive walk in listing order: every matching non-folder, and
// every folder entered (symbolic links never).
void walk(const std::string& dir, Strings& images, Strings& folders, Strings& files) {
    for (const std::string& name : testsupport::folderNames(dir)) {
        std::string full = dir + name;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            folders.push_back(full + "/");
            walk(full + "/", images, folders, files);
            continue;
        }
        files.push_back(full);
        if (isImage(name)) images.push_back(full);
    }
}

// What a full scan of the folders lists, sorted as the catalogue sorts (the
// generated names are never prefixes of each other).
Strings expectedList(const Strings& roots) {
    Strings images, folders, files;
    for (const std::string& root : roots) walk(root, images, folders, files);
    auto nameOf = [](const std::string& full) { return full.substr(full.rfind('/') + 1); };
    std::stable_sort(images.begin(), images.end(), [&](const std::string& a, const std::string& b) {
        return sortsBefore(nameOf(a), nameOf(b));
    });
    images.insert(images.begin(), "No CD (bios shell)");
    return images;
}

Strings builtList() {
    cdsearchBuild();
    return catalogueItems();
}

// Open files of the process pid: the scan helper, whose tree opens folders.
int openFiles(int pid) {
    return static_cast<int>(
        testsupport::folderNames("/proc/" + std::to_string(pid) + "/fd").size());
}

class Rescan : public ::testing::Test {
protected:
    void SetUp() override {
        lib = scratch.path() + "/lib/";
        writeFile(lib + "keep/", "");
    }

    void changedTreesListLikeAFreshScan(const std::string& view);

    std::string newName(const char* extension) {
        return "n" + std::to_string(counter++) + extension;
    }

    // One random change: add, remove, rename or move a file or a folder tree,
    // or put a link, a file or a folder where another kind of entry was.
    void change() {
        Strings images, folders, files;
        walk(lib, images, folders, files);
        folders.push_back(lib);
        const char* extensions[] = {".cue", ".CCD", ".bin", ".exe", ".txt"};
        auto pick = [&](const Strings& from) { return from[rng() % from.size()]; };
        std::string folder = pick(folders);
        // The nested image folder "keep" stays itself.
        auto movable = [&](const std::string& path) {
            return path != lib + "keep/" && path != lib + "keep" && path != lib;
        };
        switch (rng() % 8) {
        case 0:
        case 1:
            writeFile(folder + newName(extensions[rng() % 5]), "");
            break;
        case 2:
            if (!files.empty()) unlink(pick(files).c_str());
            break;
        case 3:
            if (!files.empty()) {
                rename(pick(files).c_str(), (folder + newName(extensions[rng() % 5])).c_str());
            }
            break;
        case 4: {
            std::string made = folder + newName("");
            mkdir(made.c_str(), 0755);
            for (int n = rng() % 4; n > 0; --n) writeFile(joinPath(made, newName(".cue")), "");
            break;
        }
        case 5: {
            std::string gone = pick(folders);
            if (movable(gone)) removeTree(gone);
            break;
        }
        case 6: {
            // Rename or move a folder, possibly into another one (not below itself).
            std::string from = pick(folders);
            if (!movable(from) || folder.compare(0, from.size(), from) == 0) break;
            from.pop_back();
            rename(from.c_str(), (folder + newName("")).c_str());
            break;
        }
        case 7: {
            std::string link = folder + newName(rng() % 2 ? ".cue" : "");
            symlink(rng() % 2 ? folder.c_str() : "/nowhere", link.c_str());
            break;
        }
        }
    }

    testsupport::ScratchDir scratch;
    testsupport::CatalogueLists lists;
    std::string lib;
    std::mt19937 rng{2026};
    int counter = 0;
};

// Random changes to the tree under lib, and a build after each few, seen
// under view (lib itself, or a share's view of it): every build lists what a
// fresh walk of the view lists.
void Rescan::changedTreesListLikeAFreshScan(const std::string& view) {
    Strings roots = {view, view + "keep/"};
    for (const std::string& root : roots) cdsearchAddDirectory(root.c_str());
    builtList();
    int filesBefore = openFiles(cdscanHelperPid());

    for (int round = 0; round < 150; ++round) {
        ASSERT_EQ(builtList(), expectedList(roots)) << "round " << round;
        for (int n = rng() % 4; n > 0; --n) change();
        if (round % 25 == 24) {
            // The folder list changes too: the nested folder comes and goes.
            cdsearchRemoveDirectory(roots.back().c_str());
            roots.pop_back();
            ASSERT_EQ(builtList(), expectedList(roots));
            roots.push_back(view + "keep/");
            cdsearchAddDirectory(roots.back().c_str());
        }
    }
    EXPECT_EQ(openFiles(cdscanHelperPid()), filesBefore);  // the scan leaves nothing open
}

TEST_F(Rescan, ChangedTreesListLikeAFreshScan) {
    for (int n = 0; n < 40; ++n) change();
    // Old enough that change times can confirm what the first build read.
    sleep(3);
    changedTreesListLikeAFreshScan(lib);
}

// On a share, folders are listed several at a time ahead of the walk.
TEST_F(Rescan, ChangedTreesOnAShareListLikeAFreshScan) {
    SKIP_WITHOUT_SLOWFS();
    for (int n = 0; n < 40; ++n) change();
    testsupport::SlowFs share(lib, 20);
    ASSERT_TRUE(share.mounted()) << share.error();
    changedTreesListLikeAFreshScan(share.path() + "/");
}

// Scans requested in the background while the tree changes under them, some
// taken in half-way and the lists emptied now and then: once a scan that
// began after the last change is taken in, the list is what a fresh walk gives.
TEST_F(Rescan, BackgroundScansEndLikeAFreshScan) {
    for (int n = 0; n < 20; ++n) change();
    Strings roots = {lib, lib + "keep/"};
    for (const std::string& root : roots) cdsearchAddDirectory(root.c_str());

    for (int round = 0; round < 120; ++round) {
        for (int n = rng() % 4; n > 0; --n) {
            cdsearchScanRequest(rng() % 5 == 0);
            change();
            if (rng() % 3 == 0) cdsearchScanWait(0);
        }
        if (round % 30 == 29) {
            // As the editor's Cancel does: the lists are read afresh.
            cdsearchClear();
            for (const std::string& root : roots) cdsearchAddDirectory(root.c_str());
        }
        cdsearchScanRequest(false);
        ASSERT_TRUE(cdsearchScanWait(-1));
        cdsearchRefilter();
        ASSERT_EQ(catalogueItems(), expectedList(roots)) << "round " << round;
    }
}

}  // namespace
