// The scan of a folder named without a '/' at its end: names are joined to
// it as they are, so that each joined path is looked up on its own, as the
// scan always did; the subfolders found are walked as roots of their own.
#pragma once

#include <string>
#include <vector>

#include "helper/scan/scantree_cache.h"

namespace catalogue {

// Appends the images in dir and below its subfolders to items. False when
// dir, or a folder below it, could not be read.
bool scantreeScanLoose(ScanCache& cache, const std::string& dir, std::vector<ScanItem>& items);

}  // namespace catalogue
