// The image scan with a cache of folder listings that stays valid between
// builds. What a scan lists is what a fresh walk of the tree would list at
// that moment, but a folder is read again only when it may have changed:
// - the first scan of a tree reads every folder and notes its change time;
// - the next one watches each folder (inotify) and keeps the listing when the
//   change time is still the same (and was not too recent to tell);
// - from then on, the change notices, taken in without blocking, say which
//   folders to read again. Folders that cannot be watched (watch limit) and
//   every folder on a file system whose changes go unreported (network and
//   user-space file systems), however it was reached, are read at every scan.
// Folders on file systems whose changes go unreported are listed several at
// a time ahead of the walk, by a few threads per file system, so that a scan
// of a share is not bound by one round trip after another; what the walk
// gives and reports stays as a one-by-one read gives it.
// Watches are set only from the second scan on: a dialog that is opened,
// used once and closed never pays for them. Mounts and unmounts, which raise
// no change notice, are taken from the mount table at each build.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace catalogue {

struct ScanCache;  // helper/scan/scantree_cache.h

// One image found: its folder (ending in '/') and its name.
struct ScanItem {
    std::string path;
    std::string name;
};

// What a scan tells its caller as it goes.
// Called on the thread that calls scan(), in the order a one-by-one walk meets them.
struct ScanReport {
    void (*unreadable)(const std::string& folder, int error,
                       void* data) = nullptr;           // nullptr: perror as today
    void (*progress)(int found, void* data) = nullptr;  // after each folder is listed
    void* data = nullptr;
};

class ScanTree {
public:
    ScanTree();
    ScanTree(const ScanTree&) = delete;
    ScanTree& operator=(const ScanTree&) = delete;
    ~ScanTree();

    // Starts a build: takes in the change notices and the mounts and unmounts
    // since the last one. With rereadAll, every folder is read again in this
    // build, whatever the cache holds.
    void beginBuild(bool rereadAll = false);
    // Appends the images under dir to items, depth-first in listing order.
    // dir should end in '/'; without one, names are joined to it as they are
    // and each is checked on its own. Folders that cannot be opened or listed
    // to their end (an I/O error) go to the report, and their images are left
    // out. True when every folder was listed completely; false when dir itself
    // or any folder below it could not be (a share that is offline or flaky,
    // a locked folder), so that what was found is not the whole tree.
    bool scan(const std::string& dir, std::vector<ScanItem>& items);
    // Ends a build: forgets the cached trees of folders not scanned in it,
    // and the listing threads of file systems none of them is on.
    void endBuild();
    // Forgets everything and stops watching.
    void clear();
    // Marks for reading at the next scan every cached folder at or below
    // realPath (a path without symbolic links, as the mount table gives it),
    // and every image folder whose real path lies at or below it.
    void staleAt(const std::string& realPath);
    // Where folders that cannot be opened and the progress go; the default
    // prints the former on stderr in perror form.
    void setReport(const ScanReport& to);

private:
    std::unique_ptr<ScanCache> cache;
};

}  // namespace catalogue
