// The mount table of this process (/proc/self/mountinfo) and its changes.
// A mount into a watched folder raises no inotify event, so the scan tree
// asks here which mount points came or went since the last build.
#pragma once

#include <string>
#include <vector>

namespace catalogue {

struct Mount {
    int id;             // the mount's id, unique while it is mounted
    std::string point;  // where it is mounted, escapes decoded
};

// The mounts of mountinfo text: the first field of each line is the id, the
// fifth the mount point, in which "\ooo" (three octal digits, at most 0377)
// stands for one byte. Lines without five fields or with an id that is not a
// number are left out; any other bytes are taken as they are.
std::vector<Mount> parseMountInfo(const std::string& text);

// Watches the table without blocking: the kernel flags the open table file
// (POLLPRI) when anything is mounted or unmounted anywhere.
class MountWatch {
public:
    MountWatch();  // opens the table and keeps what it holds now
    virtual ~MountWatch();
    MountWatch(const MountWatch&) = delete;
    MountWatch& operator=(const MountWatch&) = delete;

    // The mount points added or removed since the last call (or since the
    // table was opened), sorted, each once. Reads the table again only when
    // the kernel has flagged a change; when that read fails, the change stays
    // pending and a later call reports it.
    std::vector<std::string> changed();
    // The table file, for callers that wait for POLLPRI on it; -1 when it
    // could not be opened.
    int fd() const { return fd_; }

protected:
    // The table as it is now, sorted by id; false when it cannot be read.
    virtual bool readTable(std::vector<Mount>& into);

private:
    int fd_ = -1;
    bool pending = false;      // flagged by the kernel, not read yet
    std::vector<Mount> table;  // sorted by id
};

}  // namespace catalogue
