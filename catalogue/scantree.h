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

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace catalogue {

class MountWatch;

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
    // and each is checked on its own. Folders that cannot be opened go to the
    // report. False when dir itself could not be opened (a share that is
    // offline, say), true otherwise.
    bool scan(const std::string& dir, std::vector<ScanItem>& items);
    // Ends a build: forgets the cached trees of folders not scanned in it.
    void endBuild();
    // Forgets everything and stops watching.
    void clear();
    // Marks for reading at the next scan every cached folder at or below
    // realPath (a path without symbolic links, as the mount table gives it),
    // and every image folder whose real path lies at or below it.
    void staleAt(const std::string& realPath);
    // Where folders that cannot be opened and the progress go; the default
    // prints the former on stderr in perror form.
    void setReport(const ScanReport& to) { report = to; }

private:
    // Entry::child for what is not a node of its own.
    static constexpr int IMAGE = -1;
    // A subfolder just listed, whose node is made once the old listing has
    // been searched for the same folder (whose node, cache and watch it keeps).
    static constexpr int NEW_FOLDER = -2;

    struct Entry {
        std::string name;
        ino_t ino;
        int child;  // the subfolder's node, IMAGE or NEW_FOLDER
    };
    // A folder's status and entries as the system gives them; made without
    // touching the tree.
    struct Listing {
        int error = 0;  // errno when the folder could not be opened, else 0
        struct stat st = {};
        bool unreported = false;     // changes on its file system go unreported (when asked)
        std::vector<Entry> entries;  // images and subfolders (NEW_FOLDER)
    };
    struct ReadPool;
    struct AheadRead;
    struct Node {
        std::string path;   // full path, ending in '/'
        ino_t ino = 0;      // inode as the parent lists it
        dev_t dev = 0;      // the folder's own identity and change time when it was read
        ino_t statIno = 0;  // (for a root: when it was last looked up)
        struct timespec changed = {0, 0};
        int wd = -1;             // the folder's watch, -1 without one
        bool current = false;    // entries are the folder's listing now
        bool checkable = false;  // entries may be confirmed by the change time
        bool unwatched = false;  // changes here go unreported: read at every scan
        bool root = false;
        int error = 0;         // errno of the last read, 0 when it listed the folder
        std::string realPath;  // a root's path with links resolved, ending in '/'; "" unknown
        unsigned readInBuild = 0;
        std::vector<Entry> entries;
    };

    int newNode(const std::string& path, ino_t ino, bool root);
    void dropNode(int node);  // with everything below it
    void watch(int node);
    void unwatch(int node);
    // Lists the folder anew, opened relative to parentFd (its parent, open)
    // when that is not -1; keepFd, when given, receives the open folder.
    void read(int node, int parentFd, const std::string* name, int* keepFd);
    // Lists the folder at path (or name under parentFd); asks for the file
    // system's kind when its device is not knownDev. fd, when given, receives
    // the open folder, else it is closed.
    static Listing list(const std::string& path, int parentFd, const std::string* name, bool root,
                        dev_t knownDev, std::vector<struct dirent64>& buffer, int* fd);
    static std::vector<Entry> listEntries(int fd, const struct stat& st, size_t pathLength,
                                          std::vector<struct dirent64>& buffer);
    // Takes a listing into the node: subfolders still the same keep their nodes.
    void apply(int node, Listing& listing);
    void adoptSubfolders(int node, std::vector<Entry>& fresh);
    void dropSubfolders(std::vector<Entry>& entries);
    bool confirm(int node);     // watches the folder; true when its listing still holds
    void staleBelow(int node);  // marks the node and everything below it for reading
    void resolveRoot(int node);
    // Queues the subfolders of the node that will be read in this build to be
    // listed ahead of the walk; takes a listing queued so, false when none is.
    void readAhead(int node);
    bool takeAhead(int node);
    void dropAhead();                                   // forgets listings read ahead and not taken
    bool walk(int root, std::vector<ScanItem>& items);  // false when the root could not be read
    bool scanLoose(const std::string& dir, std::vector<ScanItem>& items);
    void unreadable(const std::string& folder, int error);
    int rootNode(const std::string& dir);

    std::deque<Node> nodes;
    std::vector<int> freeNodes;
    std::unordered_map<std::string, int> roots;
    std::unordered_map<std::string, unsigned> rootUsed;  // build in which each root was scanned
    std::unordered_map<int, std::vector<int>> watchers;  // watch → nodes using it
    int notify = -1;                     // the inotify instance, -1 when it could not be made
    std::unique_ptr<MountWatch> mounts;  // opened at the first build
    // Listing threads per file system (one that hangs holds no other's) and
    // the listings asked of them in this walk, by node.
    std::unordered_map<dev_t, std::shared_ptr<ReadPool>> pools;
    std::unordered_map<int, std::shared_ptr<AheadRead>> ahead;
    unsigned build = 0;
    int foundInBuild = 0;
    ScanReport report;
    // Listing buffer, one per tree: trees on other threads read at the same time.
    std::vector<struct dirent64> listingBuffer;
};

}  // namespace catalogue
