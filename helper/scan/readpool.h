// Folders on file systems whose changes go unreported (shares), listed ahead
// of the scan's walk by a few threads per file system, so that the walk is not
// bound by one round trip after another. A folder listed here queues its own
// subfolders at once, depth first and newest first, so the threads run ahead
// of the walk down every branch. They list relative to the open parent where
// they can (one look-up per folder, not one per path component), within a
// share of the process's descriptors that leaves the walk its own.
// The threads are the only ones of the scan. They are detached and hold what
// they use: one stuck in a call to a hung share keeps no one waiting when the
// pool goes, and ends when the call returns. Idle threads end after a while.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "helper/scan/dirlisting.h"

namespace catalogue {

class ReadPool {
public:
    ReadPool();
    ~ReadPool();  // forgets everything; threads end as they come back
    ReadPool(const ReadPool&) = delete;
    ReadPool& operator=(const ReadPool&) = delete;

    // Queues the folders (full paths ending in '/', on device dev, where
    // changes go unreported) to be listed, the first one first; and, as each
    // listing comes in, its subfolders on such file systems. A folder queued
    // already stays as it is.
    void queue(const std::vector<std::string>& paths, dev_t dev);
    // Takes the listing of the folder at path, waiting while a thread lists it.
    // False when it is not queued, not begun yet (it is then dropped, its
    // subfolders with it), listed on a file system whose changes are reported,
    // or short of descriptors: the caller lists it itself.
    bool take(const std::string& path, Listing* listing);
    // Forgets every folder queued and every listing not taken.
    void cancel();
    // Ends the threads of every device not in keep.
    void keepDevices(const std::unordered_set<dev_t>& keep);

private:
    struct State;
    std::shared_ptr<State> state;
};

}  // namespace catalogue
