// The scan tree's cache: one node per folder read, by number, with the
// folder's listing as it was last read, its identity and change time and its
// watch; the roots by the path they are scanned under; and the reading of one
// folder into its node. ScanTree (scantree.h) holds one. The other parts of
// the scan work on it: the watches (scantree_watch.h), staleness by real path
// (scantree_stale.h), listing ahead (scantree_ahead.h), the walk
// (scantree_walk.h) and the walk of a folder named without a '/' at its end
// (scantree_loose.h).
#pragma once

#include <sys/types.h>
#include <time.h>

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "helper/scan/changes.h"
#include "helper/scan/dirlisting.h"
#include "helper/scan/readpool.h"
#include "helper/scan/scantree.h"

namespace catalogue {

// A cached folder.
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

struct ScanCache {
    std::deque<Node> nodes;  // elements stay put while nodes are added
    std::vector<int> freeNodes;
    std::unordered_map<std::string, int> roots;
    std::unordered_map<std::string, unsigned> rootUsed;  // build in which each root was scanned
    Changes changes;
    ReadPool pool;
    unsigned build = 0;
    int foundInBuild = 0;
    unsigned failures = 0;  // folders reported unreadable so far
    ScanReport report;
    // Listing buffer, one per cache: caches on other threads read at the same time.
    ListingBuffer listingBuffer;
};

// A new node for the folder at path (ending in '/'), whose parent lists it
// with inode ino; takes the number of a dropped node when there is one.
int scantreeNewNode(ScanCache& cache, const std::string& path, ino_t ino, bool root);
// Forgets the node and everything below it, and stops watching them.
void scantreeDropNode(ScanCache& cache, int node);
// Lists the node's folder anew, opened relative to parentFd (its parent,
// open) when that is not -1; keepFd, when given, receives the open folder.
void scantreeRead(ScanCache& cache, int node, int parentFd, const std::string* name, int* keepFd);
// Takes a listing into the node: subfolders that are still the same folder
// keep their nodes, with their listings and watches. A listing that failed
// is reported as unreadable and leaves the node empty.
void scantreeApply(ScanCache& cache, int node, Listing& listing);
// The root node of dir (ending in '/'), noted as scanned in this build; made
// anew when another folder, or none, answers to that name since the last build.
int scantreeRootNode(ScanCache& cache, const std::string& dir);
// Counts folder as unreadable and tells the report (perror without one).
void scantreeUnreadable(ScanCache& cache, const std::string& folder, int error);
// Starts a build: takes in the change notices and the mounts and unmounts
// since the last one; with rereadAll, every folder is read again.
void scantreeBeginBuild(ScanCache& cache, bool rereadAll);
// Ends a build: forgets the roots not scanned in it, with their folders, and
// the listing threads of file systems no cached folder is on.
void scantreeEndBuild(ScanCache& cache);
// Forgets everything and stops watching.
void scantreeClear(ScanCache& cache);

}  // namespace catalogue
