#include "helper/scan/scantree_ahead.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace catalogue {

void scantreeReadAhead(ScanCache& cache, int index) {
    std::unordered_map<dev_t, std::vector<std::string>> byDevice;
    for (const Entry& entry : cache.nodes[index].entries) {
        if (entry.child < 0) continue;
        const Node& child = cache.nodes[entry.child];
        if (!child.unwatched || child.current || child.readInBuild == cache.build) continue;
        byDevice[child.dev].push_back(child.path);
    }
    for (const auto& paths : byDevice) cache.pool.queue(paths.second, paths.first);
}

bool scantreeTakeAhead(ScanCache& cache, int index) {
    if (!cache.nodes[index].unwatched) return false;
    Listing listing;
    if (!cache.pool.take(cache.nodes[index].path, &listing)) return false;
    scantreeApply(cache, index, listing);
    return true;
}

}  // namespace catalogue
