#include "helper/scan/scantree_watch.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace catalogue {

void scantreeUnwatch(ScanCache& cache, int index) {
    Node& node = cache.nodes[index];
    if (node.wd < 0) return;
    cache.changes.unwatch(index, node.wd);
    node.wd = -1;
}

void scantreeWatch(ScanCache& cache, int index) {
    Node& node = cache.nodes[index];
    if (node.wd >= 0) return;
    // Without a watch (limit reached, not allowed) the folder is read at every build.
    node.wd = cache.changes.watch(index, node.path, node.root);
}

bool scantreeConfirm(ScanCache& cache, int index) {
    scantreeWatch(cache, index);
    Node& node = cache.nodes[index];
    if (node.wd < 0) return false;
    struct stat st;
    int follow = node.root ? 0 : AT_SYMLINK_NOFOLLOW;
    if (fstatat(AT_FDCWD, node.path.c_str(), &st, follow) != 0) return false;
    if (st.st_dev != node.dev || st.st_ino != node.statIno ||
        st.st_ctim.tv_sec != node.changed.tv_sec || st.st_ctim.tv_nsec != node.changed.tv_nsec) {
        return false;
    }
    node.current = true;
    node.checkable = false;
    return true;
}

}  // namespace catalogue
