#include "helper/scan/scantree_stale.h"

#include <climits>
#include <cstdlib>

namespace catalogue {

namespace {

// Whether path lies at or below folder; both end in '/'.
bool atOrBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

void scantreeStaleBelow(ScanCache& cache, int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        Node& node = cache.nodes[pending.back()];
        pending.pop_back();
        node.current = false;
        node.checkable = false;
        for (const Entry& entry : node.entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
    }
}

void scantreeStaleAt(ScanCache& cache, const std::string& realPath) {
    if (realPath.empty()) return;
    std::string at = realPath.back() == '/' ? realPath : realPath + "/";
    for (const auto& known : cache.roots) {
        const Node& root = cache.nodes[known.second];
        if (root.realPath.empty() || atOrBelow(root.realPath, at)) {
            scantreeStaleBelow(cache, known.second);
            continue;
        }
        if (!atOrBelow(at, root.realPath)) continue;
        // Down the cached folders by name, to the deepest one on the way.
        int node = known.second;
        size_t from = root.realPath.size();
        for (size_t slash; (slash = at.find('/', from)) != std::string::npos; from = slash + 1) {
            std::string name = at.substr(from, slash - from);
            int next = -1;
            for (const Entry& entry : cache.nodes[node].entries) {
                if (entry.child >= 0 && entry.name == name) next = entry.child;
            }
            if (next < 0) break;
            node = next;
        }
        scantreeStaleBelow(cache, node);
    }
}

void scantreeResolveRoot(ScanCache& cache, int index) {
    Node& node = cache.nodes[index];
    char resolved[PATH_MAX];
    if (!realpath(node.path.c_str(), resolved)) {
        node.realPath.clear();
        return;
    }
    node.realPath = resolved;
    if (node.realPath.back() != '/') node.realPath += '/';
}

}  // namespace catalogue
