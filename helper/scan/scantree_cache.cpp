#include "helper/scan/scantree_cache.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <unordered_set>

#include "helper/scan/scantree_stale.h"
#include "helper/scan/scantree_watch.h"

namespace catalogue {

namespace {

void dropSubfolders(ScanCache& cache, std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        if (entry.child >= 0) scantreeDropNode(cache, entry.child);
    }
    entries.clear();
}

// Subfolders that are still the same folder keep their cached listing; the
// others get nodes of their own.
void adoptSubfolders(ScanCache& cache, int index, std::vector<Entry>& fresh) {
    std::deque<Node>& nodes = cache.nodes;
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
        entry.child =
            scantreeNewNode(cache, nodes[index].path + entry.name + "/", entry.ino, false);
        // A subfolder is on its parent's file system until its own status
        // says otherwise (a mount point); so are unreported changes.
        nodes[entry.child].dev = nodes[index].dev;
        nodes[entry.child].unwatched = nodes[index].unwatched;
    }
}

}  // namespace

void scantreeClear(ScanCache& cache) {
    cache.pool.cancel();
    cache.pool.keepDevices({});
    cache.changes.clear();
    cache.nodes.clear();
    cache.freeNodes.clear();
    cache.roots.clear();
    cache.rootUsed.clear();
}

int scantreeNewNode(ScanCache& cache, const std::string& path, ino_t ino, bool root) {
    int index;
    if (!cache.freeNodes.empty()) {
        index = cache.freeNodes.back();
        cache.freeNodes.pop_back();
    } else {
        index = static_cast<int>(cache.nodes.size());
        cache.nodes.emplace_back();
    }
    Node& node = cache.nodes[index];
    node = Node();
    node.path = path;
    node.ino = ino;
    node.root = root;
    return index;
}

void scantreeDropNode(ScanCache& cache, int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        int index = pending.back();
        pending.pop_back();
        for (const Entry& entry : cache.nodes[index].entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
        scantreeUnwatch(cache, index);
        cache.nodes[index] = Node();
        cache.freeNodes.push_back(index);
    }
}

void scantreeBeginBuild(ScanCache& cache, bool rereadAll) {
    ++cache.build;
    cache.foundInBuild = 0;
    if (rereadAll) {
        for (Node& node : cache.nodes) {
            node.current = false;
            node.checkable = false;
        }
    }
    Changes::Stale stale = cache.changes.take();
    for (const std::string& point : stale.mounts) scantreeStaleAt(cache, point);
    if (stale.all) {
        for (Node& node : cache.nodes) node.current = false;
    }
    for (int index : stale.unwatched) cache.nodes[index].wd = -1;
    for (int index : stale.below) scantreeStaleBelow(cache, index);
    for (int index : stale.listing) cache.nodes[index].current = false;
}

void scantreeApply(ScanCache& cache, int index, Listing& listing) {
    Node& node = cache.nodes[index];  // deque elements stay put while nodes are added
    node.readInBuild = cache.build;
    node.current = false;
    node.checkable = false;
    node.error = listing.error;
    if (listing.error != 0) {
        dropSubfolders(cache, node.entries);
        scantreeUnreadable(cache, node.path, listing.error);
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
    if (another) scantreeUnwatch(cache, index);
    if (node.root && (another || node.realPath.empty())) scantreeResolveRoot(cache, index);
    node.dev = st.st_dev;
    node.statIno = st.st_ino;
    node.changed = st.st_ctim;
    if (node.unwatched) scantreeUnwatch(cache, index);

    adoptSubfolders(cache, index, listing.entries);
    dropSubfolders(cache, node.entries);
    node.entries.swap(listing.entries);
    node.current = node.wd >= 0;
    node.checkable = !node.current && !node.unwatched && settled;
}

void scantreeRead(ScanCache& cache, int index, int parentFd, const std::string* name, int* keepFd) {
    const Node& node = cache.nodes[index];
    Listing listing = listFolder(node.path, parentFd, name ? name->c_str() : nullptr, node.root,
                                 node.dev, cache.listingBuffer, keepFd);
    scantreeApply(cache, index, listing);
}

int scantreeRootNode(ScanCache& cache, const std::string& dir) {
    auto known = cache.roots.find(dir);
    unsigned& used = cache.rootUsed[dir];  // a new entry has no root (known is then at the end)
    bool seen = used == cache.build;
    used = cache.build;
    if (known != cache.roots.end() && seen) return known->second;

    struct stat st;
    bool found = stat(dir.c_str(), &st) == 0;
    if (known != cache.roots.end()) {
        const Node& node = cache.nodes[known->second];
        if (found && node.dev == st.st_dev && node.ino == st.st_ino) return known->second;
        // Another folder (or none) now answers to this name: start over.
        scantreeDropNode(cache, known->second);
        cache.roots.erase(known);
    }
    int index = scantreeNewNode(cache, dir, found ? st.st_ino : 0, true);
    cache.nodes[index].dev = found ? st.st_dev : 0;
    cache.nodes[index].statIno = cache.nodes[index].ino;
    cache.roots[dir] = index;
    return index;
}

void scantreeUnreadable(ScanCache& cache, const std::string& folder, int error) {
    ++cache.failures;
    if (cache.report.unreadable) {
        cache.report.unreadable(folder, error, cache.report.data);
    } else {
        errno = error;
        perror(folder.c_str());
    }
}

void scantreeEndBuild(ScanCache& cache) {
    for (auto root = cache.roots.begin(); root != cache.roots.end();) {
        if (cache.rootUsed[root->first] == cache.build) {
            ++root;
            continue;
        }
        scantreeDropNode(cache, root->second);
        cache.rootUsed.erase(root->first);
        root = cache.roots.erase(root);
    }
    for (auto used = cache.rootUsed.begin(); used != cache.rootUsed.end();) {
        used = used->second == cache.build ? std::next(used) : cache.rootUsed.erase(used);
    }
    // A file system's listing threads go with its last cached folder.
    std::unordered_set<dev_t> inUse;
    for (const Node& node : cache.nodes)
        if (!node.path.empty() && node.unwatched) inUse.insert(node.dev);
    cache.pool.keepDevices(inUse);
}

}  // namespace catalogue
