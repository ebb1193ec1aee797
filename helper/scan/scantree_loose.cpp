#include "helper/scan/scantree_loose.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "helper/scan/scantree_walk.h"
#include "util/path.h"

namespace catalogue {

bool scantreeScanLoose(ScanCache& cache, const std::string& dir, std::vector<ScanItem>& items) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        scantreeUnreadable(cache, dir, errno);
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* entry = readdir(d)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            names.push_back(entry->d_name);
        }
    }
    int error = errno;
    closedir(d);
    if (error != 0) {
        // Cut short: not the folder's listing.
        scantreeUnreadable(cache, dir, error);
        return false;
    }
    bool complete = true;
    for (const std::string& name : names) {
        std::string full = dir + name;
        struct stat st;
        if (full.size() > PATH_LIMIT || lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (full.size() + 1 <= PATH_LIMIT &&
                !scantreeWalk(cache, scantreeRootNode(cache, full + "/"), items))
                complete = false;
        } else if (isImageName(full.c_str(), full.size())) {
            size_t cut = full.rfind('/') + 1;  // npos + 1 is 0
            items.push_back({full.substr(0, cut), full.substr(cut)});
        }
    }
    return complete;
}

}  // namespace catalogue
