// Folders of the scan cache marked for reading again: a node and all below
// it, or everything at or below a real path (links resolved), as mounts and
// unmounts name them.
#pragma once

#include <string>

#include "helper/scan/scantree_cache.h"

namespace catalogue {

// Marks the node and everything below it for reading at the next scan.
void scantreeStaleBelow(ScanCache& cache, int node);
// Marks for reading every cached folder at or below realPath (a path without
// symbolic links), through every root whose real path lies at or below it or
// above it, and every root whose real path is unknown.
void scantreeStaleAt(ScanCache& cache, const std::string& realPath);
// Notes the root node's real path (ending in '/'), or "" when it cannot be resolved.
void scantreeResolveRoot(ScanCache& cache, int node);

}  // namespace catalogue
