// The scan cache's folders watched through inotify (helper/scan/changes.h):
// a watched folder's listing holds until a change notice says otherwise, and
// a folder read before it was watched is confirmed by its change time.
#pragma once

#include "helper/scan/scantree_cache.h"

namespace catalogue {

// Watches the node's folder, unless it is watched already. Without a watch
// (limit reached, not allowed) the folder is read at every build.
void scantreeWatch(ScanCache& cache, int node);
// Stops watching the node's folder; nothing when it has no watch.
void scantreeUnwatch(ScanCache& cache, int node);
// Watches the node's folder and checks that its identity and change time
// are still those of its listing: true (the listing stands, and now holds
// until a notice) when they are, false when the folder is to be read again.
bool scantreeConfirm(ScanCache& cache, int node);

}  // namespace catalogue
