#include "helper/scan/scantree.h"

#include "helper/scan/scantree_cache.h"
#include "helper/scan/scantree_loose.h"
#include "helper/scan/scantree_stale.h"
#include "helper/scan/scantree_walk.h"

namespace catalogue {

ScanTree::ScanTree() : cache(new ScanCache) {}

ScanTree::~ScanTree() { clear(); }

void ScanTree::beginBuild(bool rereadAll) { scantreeBeginBuild(*cache, rereadAll); }

bool ScanTree::scan(const std::string& dir, std::vector<ScanItem>& items) {
    if (dir.empty() || dir.back() != '/') {
        cache->rootUsed[dir] = cache->build;
        return scantreeScanLoose(*cache, dir, items);
    }
    return scantreeWalk(*cache, scantreeRootNode(*cache, dir), items);
}

void ScanTree::endBuild() { scantreeEndBuild(*cache); }

void ScanTree::clear() { scantreeClear(*cache); }

void ScanTree::staleAt(const std::string& realPath) { scantreeStaleAt(*cache, realPath); }

void ScanTree::setReport(const ScanReport& to) { cache->report = to; }

}  // namespace catalogue
