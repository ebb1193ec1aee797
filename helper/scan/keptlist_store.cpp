#include "helper/scan/keptlist_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <string>
#include <string_view>

#include "util/wholefile.h"

namespace {

// Creates a new file of a name no other writer uses, beside target, with the
// usual mode (0666 less the umask). Its descriptor, or -1 with errno set.
int createTemporary(const std::string& target, std::string* temporary) {
    static std::atomic<unsigned> counter{0};
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; attempt++) {
        // The process id parts writers; the counter parts this process's own
        // writes and steps past files a crashed writer of the same id left.
        *temporary =
            folder + "." + base + "." + std::to_string(getpid()) + "." + std::to_string(counter++);
        int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// True for ".<base>.<digits>.<digits>", the names createTemporary makes.
bool isTemporaryName(std::string_view name, const std::string& base) {
    if (name.size() < base.size() + 2 || name[0] != '.' ||
        name.compare(1, base.size(), base) != 0 || name[base.size() + 1] != '.')
        return false;
    std::string_view numbers = name.substr(base.size() + 2);
    size_t dot = numbers.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == numbers.size()) return false;
    for (size_t i = 0; i < numbers.size(); i++)
        if (i != dot && (numbers[i] < '0' || numbers[i] > '9')) return false;
    return true;
}

// Removes the temporaries of writers that ended part-way: regular files of
// that name form in folder, last changed over an hour ago. Not by process id,
// since machines sharing the folder reuse ids; the age spares a write in
// progress anywhere. A link of such a name is left, and so is its target.
void sweepTemporaries(const std::string& folder, const std::string& base) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    const time_t hourAgo = time(nullptr) - 3600;
    while (struct dirent* entry = readdir(dir)) {
        struct stat st;
        if (isTemporaryName(entry->d_name, base) &&
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_mtime < hourAgo)
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

}  // namespace

int keptlistWrite(const std::vector<KeptFolder>& folders, const char* file) {
    std::string bytes;
    try {
        if (!keptlistSerialise(folders, &bytes)) {
            errno = EINVAL;
            return -1;
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return -1;
    }
    std::string target = file ? file : keptlistPath();
    size_t slash = target.rfind('/');
    sweepTemporaries(target.substr(0, slash == std::string::npos ? 0 : slash + 1),
                     target.substr(slash == std::string::npos ? 0 : slash + 1));
    std::string temporary;
    int fd = createTemporary(target, &temporary);
    if (fd < 0) return -1;
    // rename replaces a link of the target's name itself, never the file it names.
    return wholefileCommit(fd, temporary, target, bytes);
}
