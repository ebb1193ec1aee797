#include "helper/scan/scantree_walk.h"

#include <unistd.h>

#include "helper/scan/scantree_ahead.h"
#include "helper/scan/scantree_watch.h"

namespace catalogue {

bool scantreeWalk(ScanCache& cache, int root, std::vector<ScanItem>& items) {
    struct Frame {
        int node;
        size_t next;
        int fd;  // the folder, kept open for its subfolders, or -1
    };
    constexpr size_t OPEN_LEVELS = 32;  // folders kept open at a time, at most
    std::deque<Node>& nodes = cache.nodes;
    std::vector<Frame> stack;  // on the heap: the tree may be thousands of levels deep
    const unsigned failuresBefore = cache.failures;
    // A tree scanned for the first time is read without watches.
    bool firstScan = nodes[root].readInBuild == 0;
    auto enter = [&](int index, int parentFd, const std::string* name) {
        Node& node = nodes[index];
        int fd = -1;
        if (!node.current && node.readInBuild != cache.build) {
            if (node.checkable && scantreeConfirm(cache, index)) {
                // Unchanged since it was read: the cached listing stands.
            } else if (scantreeTakeAhead(cache, index)) {
                // Listed ahead, its subfolders queued by the pool as it listed it.
            } else {
                // (Subfolders confirm themselves: their look-up goes through this one.)
                if (!firstScan && !node.unwatched) scantreeWatch(cache, index);
                scantreeRead(cache, index, parentFd, name,
                             stack.size() < OPEN_LEVELS ? &fd : nullptr);
                if (nodes[index].unwatched) scantreeReadAhead(cache, index);
            }
        }
        stack.push_back({index, 0, fd});
        if (cache.report.progress) {
            int found = cache.foundInBuild;
            for (const Entry& entry : node.entries) found += entry.child == IMAGE;
            cache.report.progress(found, cache.report.data);
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
            ++cache.foundInBuild;
        } else {
            enter(entry.child, frame.fd, &entry.name);
        }
    }
    cache.pool.cancel();
    return cache.failures == failuresBefore;
}

}  // namespace catalogue
