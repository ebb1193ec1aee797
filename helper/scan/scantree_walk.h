// The walk of a cached tree: depth first in listing order, each folder read
// only when its listing may no longer hold, the images found appended as a
// one-by-one walk meets them.
#pragma once

#include <vector>

#include "helper/scan/scantree_cache.h"

namespace catalogue {

// Appends the images below the root node to items. A tree walked for the
// first time is read without watches. False when a folder could not be read.
bool scantreeWalk(ScanCache& cache, int root, std::vector<ScanItem>& items);

}  // namespace catalogue
