// What changed since the last build, for the scan tree's cache: the inotify
// watches of its folders (by node number) and the mount table. A mount shows
// another folder under the same path without a change notice, so the table is
// asked too.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace catalogue {

class MountWatch;

class Changes {
public:
    Changes();
    ~Changes();
    Changes(const Changes&) = delete;
    Changes& operator=(const Changes&) = delete;

    // What the notices since the last call say, by node.
    struct Stale {
        bool all = false;                 // notices were lost: every folder is to be read again
        std::vector<int> below;           // the folder itself changed, or went: it and all below it
        std::vector<int> listing;         // names changed in the folder
        std::vector<int> unwatched;       // their watch is gone (a removal, an unmount)
        std::vector<std::string> mounts;  // mount points that came or went (real paths)
    };
    // Takes in the notices and the mount table's changes without blocking.
    // Without an inotify instance (the per-user limit, say) no folder can be
    // watched until a later call makes one.
    Stale take();
    // Watches the folder of node at path (a root may be a symbolic link);
    // the watch, or -1 when it cannot be set (limit reached, not allowed).
    int watch(int node, const std::string& path, bool root);
    // Stops node's use of watch wd; the watch goes with its last user.
    void unwatch(int node, int wd);
    // Forgets every watch and the mount table.
    void clear();

private:
    int notify = -1;
    std::unordered_map<int, std::vector<int>> watchers;  // watch → nodes using it
    std::unique_ptr<MountWatch> mounts;                  // opened at the first take
};

}  // namespace catalogue
