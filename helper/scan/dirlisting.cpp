#include "helper/scan/dirlisting.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/path.h"

namespace catalogue {

namespace {

constexpr size_t LISTING_BYTES = 32768;  // listing read per system call

// Whether entries of the open folder fd, whose status is st, may be examined
// (search permission). The owner's search bit grants it without asking.
bool searchable(int fd, const struct stat& folder, const char* someEntry) {
    static const uid_t self = geteuid();
    if (folder.st_uid == self && (folder.st_mode & S_IXUSR)) return true;
    if (faccessat(fd, "", X_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) return true;
    if (errno == EACCES) return false;
    struct stat st;  // no empty-path check on this system: try one entry instead
    return fstatat(fd, someEntry, &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != EACCES;
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Whether the entry is a folder; false when its status cannot be read either.
bool isFolder(int fd, const struct dirent64& d, bool* known) {
    *known = true;
    if (d.d_type != DT_UNKNOWN) return d.d_type == DT_DIR;
    struct stat entry;
    *known = fstatat(fd, d.d_name, &entry, AT_SYMLINK_NOFOLLOW) == 0;
    return *known && S_ISDIR(entry.st_mode);
}

// The images and subfolders of the open folder fd, whose path has pathLength
// characters, in listing order; 0, or errno when the listing broke off.
// Without search permission a folder lists names, but none of its entries can
// be examined, so none is taken.
int listEntries(int fd, const struct stat& st, size_t pathLength, ListingBuffer& listing,
                std::vector<Entry>& entries) {
    bool checked = false;
    if (listing.empty()) listing.resize(LISTING_BYTES / sizeof(struct dirent64) + 1);
    char* buffer = reinterpret_cast<char*>(listing.data());
    for (;;) {
        ssize_t got = getdents64(fd, buffer, LISTING_BYTES);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return 0;
        for (ssize_t offset = 0; offset < got;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + offset);
            offset += d->d_reclen;
            if (isDotOrDotDot(d->d_name)) continue;
            if (!checked) {
                checked = true;
                if (!searchable(fd, st, d->d_name)) return 0;
            }
            size_t length = strlen(d->d_name);
            bool known;
            bool folder = isFolder(fd, *d, &known);
            if (!known || (!folder && !isImageName(d->d_name, length))) continue;
            // A path the system would refuse is skipped.
            if (pathLength + length + (folder ? 1 : 0) > PATH_LIMIT) continue;
            entries.push_back(
                {std::string(d->d_name, length), d->d_ino, folder ? NEW_FOLDER : IMAGE});
        }
    }
}

}  // namespace

bool changesGoUnreported(int fd) {
    struct statfs fs;
    if (fstatfs(fd, &fs) != 0) return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case 0x65735546UL:  // FUSE
    case V9FS_MAGIC:
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case 0x00C36400UL:  // Ceph
    case 0x0BD00BD0UL:  // Lustre
    case 0x01161970UL:  // GFS2
    case 0x7461636FUL:  // OCFS2
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
        return true;
    default:
        return false;
    }
}

Listing listFolder(const std::string& path, int parentFd, const char* name, bool root,
                   dev_t knownDev, ListingBuffer& buffer, int* keepFd) {
    Listing result;
    if (keepFd) *keepFd = -1;
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (root ? 0 : O_NOFOLLOW);
    int fd = parentFd >= 0 ? openat(parentFd, name, flags) : open(path.c_str(), flags);
    if (fd < 0 || fstat(fd, &result.st) != 0) {
        result.error = errno;
        if (fd >= 0) close(fd);
        return result;
    }
    if (root || result.st.st_dev != knownDev) result.unreported = changesGoUnreported(fd);
    result.error = listEntries(fd, result.st, path.size(), buffer, result.entries);
    if (result.error != 0) {
        // A part of a listing is not the folder's listing.
        result.entries.clear();
        close(fd);
    } else if (keepFd) {
        *keepFd = fd;
    } else {
        close(fd);
    }
    return result;
}

}  // namespace catalogue
