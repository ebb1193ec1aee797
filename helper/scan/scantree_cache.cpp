#include "helper/scan/scantree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "helper/scan/changes.h"
#include "helper/scan/dirlisting.h"
#include "helper/scan/readpool.h"
#include "util/path.h"

namespace catalogue {

namespace {

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

// Whether path lies at or below folder; both end in '/'.
bool atOrBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

struct ScanTree::Tree {
    std::deque<Node> nodes;
    std::vector<int> freeNodes;
    std::unordered_map<std::string, int> roots;
    std::unordered_map<std::string, unsigned> rootUsed;  // build in which each root was scanned
    Changes changes;
    ReadPool pool;
    unsigned build = 0;
    int foundInBuild = 0;
    unsigned failures = 0;  // folders reported unreadable so far
    ScanReport report;
    // Listing buffer, one per tree: trees on other threads read at the same time.
    ListingBuffer listingBuffer;

    int newNode(const std::string& path, ino_t ino, bool root);
    void dropNode(int node);  // with everything below it
    void watch(int node);
    void unwatch(int node);
    // Lists the folder anew, opened relative to parentFd (its parent, open)
    // when that is not -1; keepFd, when given, receives the open folder.
    void read(int node, int parentFd, const std::string* name, int* keepFd);
    // Takes a listing into the node: subfolders still the same keep their nodes.
    void apply(int node, Listing& listing);
    void adoptSubfolders(int node, std::vector<Entry>& fresh);
    void dropSubfolders(std::vector<Entry>& entries);
    bool confirm(int node);     // watches the folder; true when its listing still holds
    void staleBelow(int node);  // marks the node and everything below it for reading
    void staleAt(const std::string& realPath);
    void resolveRoot(int node);
    void beginBuild(bool rereadAll);
    // Queues the subfolders of the node that will be read in this build to be
    // listed ahead of the walk; takes a listing listed so, false when none is.
    void readAhead(int node);
    bool takeAhead(int node);
    bool walk(int root, std::vector<ScanItem>& items);  // false when a folder could not be read
    bool scanLoose(const std::string& dir, std::vector<ScanItem>& items);
    void unreadable(const std::string& folder, int error);
    int rootNode(const std::string& dir);
    void endBuild();
    void clear();
};

ScanTree::ScanTree() : tree(new Tree) {}

ScanTree::~ScanTree() { clear(); }

void ScanTree::beginBuild(bool rereadAll) { tree->beginBuild(rereadAll); }

bool ScanTree::scan(const std::string& dir, std::vector<ScanItem>& items) {
    if (dir.empty() || dir.back() != '/') {
        tree->rootUsed[dir] = tree->build;
        return tree->scanLoose(dir, items);
    }
    return tree->walk(tree->rootNode(dir), items);
}

void ScanTree::endBuild() { tree->endBuild(); }

void ScanTree::clear() { tree->clear(); }

void ScanTree::staleAt(const std::string& realPath) { tree->staleAt(realPath); }

void ScanTree::setReport(const ScanReport& to) { tree->report = to; }

void ScanTree::Tree::clear() {
    pool.cancel();
    pool.keepDevices({});
    changes.clear();
    nodes.clear();
    freeNodes.clear();
    roots.clear();
    rootUsed.clear();
}

int ScanTree::Tree::newNode(const std::string& path, ino_t ino, bool root) {
    int index;
    if (!freeNodes.empty()) {
        index = freeNodes.back();
        freeNodes.pop_back();
    } else {
        index = static_cast<int>(nodes.size());
        nodes.emplace_back();
    }
    Node& node = nodes[index];
    node = Node();
    node.path = path;
    node.ino = ino;
    node.root = root;
    return index;
}

void ScanTree::Tree::unwatch(int index) {
    Node& node = nodes[index];
    if (node.wd < 0) return;
    changes.unwatch(index, node.wd);
    node.wd = -1;
}

void ScanTree::Tree::watch(int index) {
    Node& node = nodes[index];
    if (node.wd >= 0) return;
    // Without a watch (limit reached, not allowed) the folder is read at every build.
    node.wd = changes.watch(index, node.path, node.root);
}

void ScanTree::Tree::dropNode(int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        int index = pending.back();
        pending.pop_back();
        for (const Entry& entry : nodes[index].entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
        unwatch(index);
        nodes[index] = Node();
        freeNodes.push_back(index);
    }
}

void ScanTree::Tree::staleBelow(int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        Node& node = nodes[pending.back()];
        pending.pop_back();
        node.current = false;
        node.checkable = false;
        for (const Entry& entry : node.entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
    }
}

void ScanTree::Tree::staleAt(const std::string& realPath) {
    if (realPath.empty()) return;
    std::string at = realPath.back() == '/' ? realPath : realPath + "/";
    for (const auto& known : roots) {
        const Node& root = nodes[known.second];
        if (root.realPath.empty() || atOrBelow(root.realPath, at)) {
            staleBelow(known.second);
            continue;
        }
        if (!atOrBelow(at, root.realPath)) continue;
        // Down the cached folders by name, to the deepest one on the way.
        int node = known.second;
        size_t from = root.realPath.size();
        for (size_t slash; (slash = at.find('/', from)) != std::string::npos; from = slash + 1) {
            std::string name = at.substr(from, slash - from);
            int next = -1;
            for (const Entry& entry : nodes[node].entries) {
                if (entry.child >= 0 && entry.name == name) next = entry.child;
            }
            if (next < 0) break;
            node = next;
        }
        staleBelow(node);
    }
}

void ScanTree::Tree::resolveRoot(int index) {
    Node& node = nodes[index];
    char resolved[PATH_MAX];
    if (!realpath(node.path.c_str(), resolved)) {
        node.realPath.clear();
        return;
    }
    node.realPath = resolved;
    if (node.realPath.back() != '/') node.realPath += '/';
}

void ScanTree::Tree::beginBuild(bool rereadAll) {
    ++build;
    foundInBuild = 0;
    if (rereadAll) {
        for (Node& node : nodes) {
            node.current = false;
            node.checkable = false;
        }
    }
    Changes::Stale stale = changes.take();
    for (const std::string& point : stale.mounts) staleAt(point);
    if (stale.all) {
        for (Node& node : nodes) node.current = false;
    }
    for (int index : stale.unwatched) nodes[index].wd = -1;
    for (int index : stale.below) staleBelow(index);
    for (int index : stale.listing) nodes[index].current = false;
}

void ScanTree::Tree::dropSubfolders(std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        if (entry.child >= 0) dropNode(entry.child);
    }
    entries.clear();
}

// Subfolders that are still the same folder keep their cached listing; the
// others get nodes of their own.
void ScanTree::Tree::adoptSubfolders(int index, std::vector<Entry>& fresh) {
    std::unordered_map<std::string, size_t> previous;
    std::vector<Entry>& old = nodes[index].entries;
    for (size_t i = 0; i < old.size(); ++i) {
        if (old[i].child >= 0) previous.emplace(old[i].name, i);
    }
    for (Entry& entry : fresh) {
        if (entry.child != NEW_FOLDER) continue;
        auto match = previous.find(entry.name);
        if (match != previous.end() && nodes[old[match->second].child].ino == entry.ino) {
            entry.child = old[match->second].child;
            old[match->second].child = IMAGE;  // taken over: not dropped below
            continue;
        }
        entry.child = newNode(nodes[index].path + entry.name + "/", entry.ino, false);
        // A subfolder is on its parent's file system until its own status
        // says otherwise (a mount point); so are unreported changes.
        nodes[entry.child].dev = nodes[index].dev;
        nodes[entry.child].unwatched = nodes[index].unwatched;
    }
}

void ScanTree::Tree::apply(int index, Listing& listing) {
    Node& node = nodes[index];  // deque elements stay put while nodes are added
    node.readInBuild = build;
    node.current = false;
    node.checkable = false;
    node.error = listing.error;
    if (listing.error != 0) {
        dropSubfolders(node.entries);
        unreadable(node.path, listing.error);
        return;
    }
    const struct stat& st = listing.st;
    // A folder changed in the last moments may change again within the same
    // tick of the file system's clock; only older change times can confirm it.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    bool settled = st.st_ctim.tv_sec + 2 < now.tv_sec;
    if (node.root || st.st_dev != node.dev) node.unwatched = listing.unreported;
    // Another folder under the same path (a mount came or went): its own watch is set anew.
    bool another = node.statIno != 0 && (st.st_dev != node.dev || st.st_ino != node.statIno);
    if (another) unwatch(index);
    if (node.root && (another || node.realPath.empty())) resolveRoot(index);
    node.dev = st.st_dev;
    node.statIno = st.st_ino;
    node.changed = st.st_ctim;
    if (node.unwatched) unwatch(index);

    adoptSubfolders(index, listing.entries);
    dropSubfolders(node.entries);
    node.entries.swap(listing.entries);
    node.current = node.wd >= 0;
    node.checkable = !node.current && !node.unwatched && settled;
}

void ScanTree::Tree::read(int index, int parentFd, const std::string* name, int* keepFd) {
    const Node& node = nodes[index];
    Listing listing = listFolder(node.path, parentFd, name ? name->c_str() : nullptr, node.root,
                                 node.dev, listingBuffer, keepFd);
    apply(index, listing);
}

bool ScanTree::Tree::confirm(int index) {
    watch(index);
    Node& node = nodes[index];
    if (node.wd < 0) return false;
    struct stat st;
    int follow = node.root ? 0 : AT_SYMLINK_NOFOLLOW;
    if (fstatat(AT_FDCWD, node.path.c_str(), &st, follow) != 0) return false;
    if (st.st_dev != node.dev || st.st_ino != node.statIno ||
        st.st_ctim.tv_sec != node.changed.tv_sec || st.st_ctim.tv_nsec != node.changed.tv_nsec) {
        return false;
    }
    node.current = true;
    node.checkable = false;
    return true;
}

void ScanTree::Tree::readAhead(int index) {
    std::unordered_map<dev_t, std::vector<std::string>> byDevice;
    for (const Entry& entry : nodes[index].entries) {
        if (entry.child < 0) continue;
        const Node& child = nodes[entry.child];
        if (!child.unwatched || child.current || child.readInBuild == build) continue;
        byDevice[child.dev].push_back(child.path);
    }
    for (const auto& paths : byDevice) pool.queue(paths.second, paths.first);
}

bool ScanTree::Tree::takeAhead(int index) {
    if (!nodes[index].unwatched) return false;
    Listing listing;
    if (!pool.take(nodes[index].path, &listing)) return false;
    apply(index, listing);
    return true;
}

int ScanTree::Tree::rootNode(const std::string& dir) {
    auto known = roots.find(dir);
    unsigned& used = rootUsed[dir];  // a new entry has no root (known is then at the end)
    bool seen = used == build;
    used = build;
    if (known != roots.end() && seen) return known->second;

    struct stat st;
    bool found = stat(dir.c_str(), &st) == 0;
    if (known != roots.end()) {
        const Node& node = nodes[known->second];
        if (found && node.dev == st.st_dev && node.ino == st.st_ino) return known->second;
        // Another folder (or none) now answers to this name: start over.
        dropNode(known->second);
        roots.erase(known);
    }
    int index = newNode(dir, found ? st.st_ino : 0, true);
    nodes[index].dev = found ? st.st_dev : 0;
    nodes[index].statIno = nodes[index].ino;
    roots[dir] = index;
    return index;
}

void ScanTree::Tree::unreadable(const std::string& folder, int error) {
    ++failures;
    if (report.unreadable) {
        report.unreadable(folder, error, report.data);
    } else {
        errno = error;
        perror(folder.c_str());
    }
}

bool ScanTree::Tree::walk(int root, std::vector<ScanItem>& items) {
    struct Frame {
        int node;
        size_t next;
        int fd;  // the folder, kept open for its subfolders, or -1
    };
    constexpr size_t OPEN_LEVELS = 32;  // folders kept open at a time, at most
    std::vector<Frame> stack;           // on the heap: the tree may be thousands of levels deep
    const unsigned failuresBefore = failures;
    // A tree scanned for the first time is read without watches.
    bool firstScan = nodes[root].readInBuild == 0;
    auto enter = [&](int index, int parentFd, const std::string* name) {
        Node& node = nodes[index];
        int fd = -1;
        if (!node.current && node.readInBuild != build) {
            if (node.checkable && confirm(index)) {
                // Unchanged since it was read: the cached listing stands.
            } else if (takeAhead(index)) {
                // Listed ahead, its subfolders queued by the pool as it listed it.
            } else {
                // (Subfolders confirm themselves: their look-up goes through this one.)
                if (!firstScan && !node.unwatched) watch(index);
                read(index, parentFd, name, stack.size() < OPEN_LEVELS ? &fd : nullptr);
                if (nodes[index].unwatched) readAhead(index);
            }
        }
        stack.push_back({index, 0, fd});
        if (report.progress) {
            int found = foundInBuild;
            for (const Entry& entry : node.entries) found += entry.child == IMAGE;
            report.progress(found, report.data);
        }
    };
    enter(root, -1, nullptr);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const Node& node = nodes[frame.node];
        if (frame.next == node.entries.size()) {
            if (frame.fd >= 0) close(frame.fd);
            stack.pop_back();
            continue;
        }
        const Entry& entry = node.entries[frame.next++];
        if (entry.child < 0) {
            items.push_back({node.path, entry.name});
            ++foundInBuild;
        } else {
            enter(entry.child, frame.fd, &entry.name);
        }
    }
    pool.cancel();
    return failures == failuresBefore;
}

// A folder string without a trailing '/' joins names to it as they are, so
// each joined path is examined on its own, as the scan always did.
bool ScanTree::Tree::scanLoose(const std::string& dir, std::vector<ScanItem>& items) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        unreadable(dir, errno);
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* entry = readdir(d)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            names.push_back(entry->d_name);
        }
    }
    int error = errno;
    closedir(d);
    if (error != 0) {
        // Cut short: not the folder's listing.
        unreadable(dir, error);
        return false;
    }
    bool complete = true;
    for (const std::string& name : names) {
        std::string full = dir + name;
        struct stat st;
        if (full.size() > PATH_LIMIT || lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (full.size() + 1 <= PATH_LIMIT && !walk(rootNode(full + "/"), items))
                complete = false;
        } else if (isImageName(full.c_str(), full.size())) {
            size_t cut = full.rfind('/') + 1;  // npos + 1 is 0
            items.push_back({full.substr(0, cut), full.substr(cut)});
        }
    }
    return complete;
}

void ScanTree::Tree::endBuild() {
    for (auto root = roots.begin(); root != roots.end();) {
        if (rootUsed[root->first] == build) {
            ++root;
            continue;
        }
        dropNode(root->second);
        rootUsed.erase(root->first);
        root = roots.erase(root);
    }
    for (auto used = rootUsed.begin(); used != rootUsed.end();) {
        used = used->second == build ? std::next(used) : rootUsed.erase(used);
    }
    // A file system's listing threads go with its last cached folder.
    std::unordered_set<dev_t> inUse;
    for (const Node& node : nodes)
        if (!node.path.empty() && node.unwatched) inUse.insert(node.dev);
    pool.keepDevices(inUse);
}

}  // namespace catalogue
