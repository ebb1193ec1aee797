// Folders on file systems whose changes go unreported, listed ahead of the
// walk by the cache's read pool (helper/scan/readpool.h).
#pragma once

#include "helper/scan/scantree_cache.h"

namespace catalogue {

// Queues the node's subfolders that are on such file systems and not yet
// read in this build, by file system, to be listed ahead of the walk.
void scantreeReadAhead(ScanCache& cache, int node);
// Takes into the node a listing of its folder listed ahead: false when the
// folder's changes are reported or the pool has none for it (the caller
// lists it itself).
bool scantreeTakeAhead(ScanCache& cache, int node);

}  // namespace catalogue
