#include "catalogue/scantree.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "catalogue/mounts.h"
#include "util/path.h"

namespace catalogue {

namespace {

constexpr size_t PATH_LIMIT = 4095;      // characters of a path the system accepts
constexpr size_t LISTING_BYTES = 32768;  // listing read per system call

// Name changes in a folder make its listing stale; changes to the folder
// itself (permissions, removal, a move, an unmount) make everything below it stale.
constexpr uint32_t WATCH_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t NAME_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t SELF_EVENTS = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

// File systems whose changes inotify may not report (network, user space, kernel views).
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

// Threads listing ahead on one file system. On the share benchmark (0.5 ms a
// call) the complete list takes 9.3 s with 8 and 5.5 s with 16, 40 s one by one.
constexpr size_t AHEAD_THREADS = 16;

}  // namespace

// One folder to list ahead: asked by the walk, answered by a pool thread.
struct ScanTree::AheadRead {
    std::string path;
    dev_t knownDev;
    ReadPool* pool;
    bool started = false;
    bool done = false;
    bool cancelled = false;  // not wanted any more: left unread when not started
    Listing listing;
};

// A queue of folders to list, newest first (the walk wants the subfolders it
// has just met), and its threads. The threads are detached and hold the pool
// themselves: one stuck in a call to a hung share keeps no one waiting when
// the tree goes, and ends when the call returns.
struct ScanTree::ReadPool {
    std::mutex lock;
    std::condition_variable wake, answered;
    std::deque<std::shared_ptr<AheadRead>> queue;
    size_t threads = 0, free = 0;  // started, and not listing now
    bool stopping = false;

    static void serve(std::shared_ptr<ReadPool> pool) {
        std::vector<struct dirent64> buffer;
        std::unique_lock<std::mutex> guard(pool->lock);
        for (;;) {
            pool->wake.wait(guard, [&] { return pool->stopping || !pool->queue.empty(); });
            if (pool->stopping) return;
            std::shared_ptr<AheadRead> read = pool->queue.back();
            pool->queue.pop_back();
            if (read->cancelled) continue;
            read->started = true;
            --pool->free;
            guard.unlock();
            Listing listing = list(read->path, -1, nullptr, false, read->knownDev, buffer, nullptr);
            guard.lock();
            read->listing = std::move(listing);
            read->done = true;
            ++pool->free;
            pool->answered.notify_all();
        }
    }

    // Queues the reads, the first to be taken first; starts threads while
    // more are queued than free threads can take.
    void add(const std::shared_ptr<ReadPool>& self,
             const std::vector<std::shared_ptr<AheadRead>>& reads) {
        std::lock_guard<std::mutex> guard(lock);
        for (auto read = reads.rbegin(); read != reads.rend(); ++read) queue.push_back(*read);
        while (threads < AHEAD_THREADS && free < queue.size()) {
            std::thread(serve, self).detach();
            ++threads;
            ++free;
        }
        wake.notify_all();
    }

    void stop() {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        queue.clear();
        wake.notify_all();
    }
};

ScanTree::ScanTree() = default;

void ScanTree::readAhead(int index) {
    std::unordered_map<dev_t, std::vector<std::shared_ptr<AheadRead>>> byDevice;
    for (const Entry& entry : nodes[index].entries) {
        if (entry.child < 0) continue;
        const Node& child = nodes[entry.child];
        if (!child.unwatched || child.current || child.readInBuild == build) continue;
        std::shared_ptr<ReadPool>& pool = pools[child.dev];
        if (!pool) pool = std::make_shared<ReadPool>();
        auto read = std::make_shared<AheadRead>();
        read->path = child.path;
        read->knownDev = child.dev;
        read->pool = pool.get();
        ahead[entry.child] = read;
        byDevice[child.dev].push_back(read);
    }
    for (const auto& reads : byDevice) pools[reads.first]->add(pools[reads.first], reads.second);
}

bool ScanTree::takeAhead(int index) {
    auto found = ahead.find(index);
    if (found == ahead.end()) return false;
    std::shared_ptr<AheadRead> read = found->second;
    ahead.erase(found);
    ReadPool& pool = *read->pool;
    std::unique_lock<std::mutex> guard(pool.lock);
    if (!read->started || read->path != nodes[index].path) {
        // Not begun yet (the walk caught up with it): read here instead.
        read->cancelled = true;
        return false;
    }
    pool.answered.wait(guard, [&] { return read->done; });
    Listing listing = std::move(read->listing);
    guard.unlock();
    apply(index, listing);
    return true;
}

void ScanTree::dropAhead() {
    for (auto& pending : ahead) {
        std::lock_guard<std::mutex> guard(pending.second->pool->lock);
        pending.second->cancelled = true;
    }
    ahead.clear();
}

ScanTree::~ScanTree() { clear(); }

void ScanTree::clear() {
    dropAhead();
    for (auto& pool : pools) pool.second->stop();
    pools.clear();
    if (notify >= 0) close(notify);
    notify = -1;
    nodes.clear();
    freeNodes.clear();
    roots.clear();
    rootUsed.clear();
    watchers.clear();
    mounts.reset();
}

int ScanTree::newNode(const std::string& path, ino_t ino, bool root) {
    int index;
    if (!freeNodes.empty()) {
        index = freeNodes.back();
        freeNodes.pop_back();
    } else {
        index = static_cast<int>(nodes.size());
        nodes.emplace_back();
    }
    Node& node = nodes[index];
    node = Node();
    node.path = path;
    node.ino = ino;
    node.root = root;
    return index;
}

void ScanTree::unwatch(int index) {
    Node& node = nodes[index];
    if (node.wd < 0) return;
    auto users = watchers.find(node.wd);
    if (users != watchers.end()) {
        auto& list = users->second;
        list.erase(std::remove(list.begin(), list.end(), index), list.end());
        // The same folder reached under two roots shares one watch.
        if (list.empty()) {
            watchers.erase(users);
            inotify_rm_watch(notify, node.wd);
        }
    }
    node.wd = -1;
}

void ScanTree::watch(int index) {
    Node& node = nodes[index];
    if (notify < 0 || node.wd >= 0) return;
    uint32_t mask = WATCH_EVENTS | (node.root ? 0 : IN_DONT_FOLLOW);
    int wd = inotify_add_watch(notify, node.path.c_str(), mask);
    if (wd < 0) return;  // limit reached or not allowed: the folder is read at every build
    node.wd = wd;
    watchers[wd].push_back(index);
}

void ScanTree::dropNode(int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        int index = pending.back();
        pending.pop_back();
        for (const Entry& entry : nodes[index].entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
        unwatch(index);
        nodes[index] = Node();
        freeNodes.push_back(index);
    }
}

void ScanTree::staleBelow(int first) {
    std::vector<int> pending{first};
    while (!pending.empty()) {
        Node& node = nodes[pending.back()];
        pending.pop_back();
        node.current = false;
        node.checkable = false;
        for (const Entry& entry : node.entries) {
            if (entry.child >= 0) pending.push_back(entry.child);
        }
    }
}

// Whether path lies at or below folder; both end in '/'.
static bool atOrBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0;
}

void ScanTree::staleAt(const std::string& realPath) {
    if (realPath.empty()) return;
    std::string at = realPath.back() == '/' ? realPath : realPath + "/";
    for (const auto& known : roots) {
        const Node& root = nodes[known.second];
        if (root.realPath.empty() || atOrBelow(root.realPath, at)) {
            staleBelow(known.second);
            continue;
        }
        if (!atOrBelow(at, root.realPath)) continue;
        // Down the cached folders by name, to the deepest one on the way.
        int node = known.second;
        size_t from = root.realPath.size();
        for (size_t slash; (slash = at.find('/', from)) != std::string::npos; from = slash + 1) {
            std::string name = at.substr(from, slash - from);
            int next = -1;
            for (const Entry& entry : nodes[node].entries) {
                if (entry.child >= 0 && entry.name == name) next = entry.child;
            }
            if (next < 0) break;
            node = next;
        }
        staleBelow(node);
    }
}

void ScanTree::resolveRoot(int index) {
    Node& node = nodes[index];
    char resolved[PATH_MAX];
    if (!realpath(node.path.c_str(), resolved)) {
        node.realPath.clear();
        return;
    }
    node.realPath = resolved;
    if (node.realPath.back() != '/') node.realPath += '/';
}

void ScanTree::beginBuild(bool rereadAll) {
    ++build;
    foundInBuild = 0;
    if (rereadAll) {
        for (Node& node : nodes) {
            node.current = false;
            node.checkable = false;
        }
    }
    // A mount shows another folder under the same path without a notice.
    if (!mounts) mounts.reset(new MountWatch);
    for (const std::string& point : mounts->changed()) staleAt(point);
    // Without an inotify instance (the per-user limit, say) every folder is
    // read at every build; the next build tries again.
    if (notify < 0) notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify < 0) return;

    // Drain without blocking; an empty queue ends the loop.
    alignas(struct inotify_event) char buffer[65536];
    for (;;) {
        ssize_t got = ::read(notify, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Notices were lost: every folder is read again.
                for (Node& node : nodes) node.current = false;
                continue;
            }
            auto users = watchers.find(event->wd);
            if (users == watchers.end()) continue;
            if (event->mask & IN_IGNORED) {
                // The watch is gone (folder removed or its file system unmounted).
                for (int index : users->second) {
                    nodes[index].wd = -1;
                    staleBelow(index);
                }
                watchers.erase(users);
            } else if (event->len == 0 && (event->mask & SELF_EVENTS)) {
                for (int index : users->second) staleBelow(index);
            } else if (event->mask & NAME_EVENTS) {
                for (int index : users->second) nodes[index].current = false;
            }
        }
    }
}

// Whether entries of the open folder fd, whose status is st, may be examined
// (search permission). The owner's search bit grants it without asking.
static bool searchable(int fd, const struct stat& folder, const char* someEntry) {
    static const uid_t self = geteuid();
    if (folder.st_uid == self && (folder.st_mode & S_IXUSR)) return true;
    if (faccessat(fd, "", X_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) return true;
    if (errno == EACCES) return false;
    struct stat st;  // no empty-path check on this system: try one entry instead
    return fstatat(fd, someEntry, &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != EACCES;
}

static bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Whether the entry is a folder; false when its status cannot be read either.
static bool isFolder(int fd, const struct dirent64& d, bool* known) {
    *known = true;
    if (d.d_type != DT_UNKNOWN) return d.d_type == DT_DIR;
    struct stat entry;
    *known = fstatat(fd, d.d_name, &entry, AT_SYMLINK_NOFOLLOW) == 0;
    return *known && S_ISDIR(entry.st_mode);
}

// The images and subfolders of the open folder fd, whose path has pathLength
// characters, in listing order. Without search permission a folder lists
// names, but none of its entries can be examined, so none is taken.
std::vector<ScanTree::Entry> ScanTree::listEntries(int fd, const struct stat& st, size_t pathLength,
                                                   std::vector<struct dirent64>& listing) {
    std::vector<Entry> entries;
    bool checked = false;
    if (listing.empty()) listing.resize(LISTING_BYTES / sizeof(struct dirent64) + 1);
    char* buffer = reinterpret_cast<char*>(listing.data());
    for (ssize_t got; (got = getdents64(fd, buffer, LISTING_BYTES)) > 0;) {
        for (ssize_t offset = 0; offset < got;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + offset);
            offset += d->d_reclen;
            if (isDotOrDotDot(d->d_name)) continue;
            if (!checked) {
                checked = true;
                if (!searchable(fd, st, d->d_name)) return entries;
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
    return entries;
}

ScanTree::Listing ScanTree::list(const std::string& path, int parentFd, const std::string* name,
                                 bool root, dev_t knownDev, std::vector<struct dirent64>& buffer,
                                 int* keepFd) {
    Listing result;
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (root ? 0 : O_NOFOLLOW);
    // Relative to the open parent where there is one: a shorter look-up.
    int fd = parentFd >= 0 ? openat(parentFd, name->c_str(), flags) : open(path.c_str(), flags);
    if (fd < 0 || fstat(fd, &result.st) != 0) {
        result.error = errno;
        if (fd >= 0) close(fd);
        return result;
    }
    if (root || result.st.st_dev != knownDev) result.unreported = changesGoUnreported(fd);
    result.entries = listEntries(fd, result.st, path.size(), buffer);
    if (keepFd) {
        *keepFd = fd;
    } else {
        close(fd);
    }
    return result;
}

void ScanTree::dropSubfolders(std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        if (entry.child >= 0) dropNode(entry.child);
    }
    entries.clear();
}

// Subfolders that are still the same folder keep their cached listing; the
// others get nodes of their own.
void ScanTree::adoptSubfolders(int index, std::vector<Entry>& fresh) {
    std::unordered_map<std::string, size_t> previous;
    std::vector<Entry>& old = nodes[index].entries;
    for (size_t i = 0; i < old.size(); ++i) {
        if (old[i].child >= 0) previous.emplace(old[i].name, i);
    }
    for (Entry& entry : fresh) {
        if (entry.child != NEW_FOLDER) continue;
        auto match = previous.find(entry.name);
        if (match != previous.end() && nodes[old[match->second].child].ino == entry.ino) {
            entry.child = old[match->second].child;
            old[match->second].child = IMAGE;  // taken over: not dropped below
            continue;
        }
        entry.child = newNode(nodes[index].path + entry.name + "/", entry.ino, false);
        // A subfolder is on its parent's file system until its own status
        // says otherwise (a mount point); so are unreported changes.
        nodes[entry.child].dev = nodes[index].dev;
        nodes[entry.child].unwatched = nodes[index].unwatched;
    }
}

void ScanTree::apply(int index, Listing& listing) {
    Node& node = nodes[index];  // deque elements stay put while nodes are added
    node.readInBuild = build;
    node.current = false;
    node.checkable = false;
    node.error = listing.error;
    if (listing.error != 0) {
        dropSubfolders(node.entries);
        unreadable(node.path, listing.error);
        return;
    }
    const struct stat& st = listing.st;
    // A folder changed in the last moments may change again within the same
    // tick of the file system's clock; only older change times can confirm it.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    bool settled = st.st_ctim.tv_sec + 2 < now.tv_sec;
    if (node.root || st.st_dev != node.dev) node.unwatched = listing.unreported;
    // Another folder under the same path (a mount came or went): its own watch is set anew.
    bool another = node.statIno != 0 && (st.st_dev != node.dev || st.st_ino != node.statIno);
    if (another) unwatch(index);
    if (node.root && (another || node.realPath.empty())) resolveRoot(index);
    node.dev = st.st_dev;
    node.statIno = st.st_ino;
    node.changed = st.st_ctim;
    if (node.unwatched) unwatch(index);

    adoptSubfolders(index, listing.entries);
    dropSubfolders(node.entries);
    node.entries.swap(listing.entries);
    node.current = node.wd >= 0;
    node.checkable = !node.current && !node.unwatched && settled;
}

void ScanTree::read(int index, int parentFd, const std::string* name, int* keepFd) {
    const Node& node = nodes[index];
    Listing listing = list(node.path, parentFd, name, node.root, node.dev, listingBuffer, keepFd);
    apply(index, listing);
}

bool ScanTree::confirm(int index) {
    watch(index);
    Node& node = nodes[index];
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

int ScanTree::rootNode(const std::string& dir) {
    auto known = roots.find(dir);
    unsigned& used = rootUsed[dir];  // a new entry has no root (known is then at the end)
    bool seen = used == build;
    used = build;
    if (known != roots.end() && seen) return known->second;

    struct stat st;
    bool found = stat(dir.c_str(), &st) == 0;
    if (known != roots.end()) {
        const Node& node = nodes[known->second];
        if (found && node.dev == st.st_dev && node.ino == st.st_ino) return known->second;
        // Another folder (or none) now answers to this name: start over.
        dropNode(known->second);
        roots.erase(known);
    }
    int index = newNode(dir, found ? st.st_ino : 0, true);
    nodes[index].dev = found ? st.st_dev : 0;
    nodes[index].statIno = nodes[index].ino;
    roots[dir] = index;
    return index;
}

void ScanTree::unreadable(const std::string& folder, int error) {
    if (report.unreadable) {
        report.unreadable(folder, error, report.data);
    } else {
        errno = error;
        perror(folder.c_str());
    }
}

bool ScanTree::walk(int root, std::vector<ScanItem>& items) {
    struct Frame {
        int node;
        size_t next;
        int fd;  // the folder, kept open for its subfolders, or -1
    };
    constexpr size_t OPEN_LEVELS = 32;  // folders kept open at a time, at most
    std::vector<Frame> stack;           // on the heap: the tree may be thousands of levels deep
    // A tree scanned for the first time is read without watches.
    bool firstScan = nodes[root].readInBuild == 0;
    auto enter = [&](int index, int parentFd, const std::string* name) {
        Node& node = nodes[index];
        int fd = -1;
        if (!node.current && node.readInBuild != build) {
            if (node.checkable && confirm(index)) {
                // Unchanged since it was read: the cached listing stands.
            } else {
                // (Subfolders confirm themselves: their look-up goes through this one.)
                if (!firstScan && !node.unwatched) watch(index);
                if (!takeAhead(index))
                    read(index, parentFd, name, stack.size() < OPEN_LEVELS ? &fd : nullptr);
                if (nodes[index].unwatched) readAhead(index);
            }
        }
        stack.push_back({index, 0, fd});
        if (report.progress) {
            int found = foundInBuild;
            for (const Entry& entry : node.entries) found += entry.child == IMAGE;
            report.progress(found, report.data);
        }
    };
    enter(root, -1, nullptr);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const Node& node = nodes[frame.node];
        if (frame.next == node.entries.size()) {
            if (frame.fd >= 0) close(frame.fd);
            stack.pop_back();
            continue;
        }
        const Entry& entry = node.entries[frame.next++];
        if (entry.child < 0) {
            items.push_back({node.path, entry.name});
            ++foundInBuild;
        } else {
            enter(entry.child, frame.fd, &entry.name);
        }
    }
    dropAhead();
    return nodes[root].error == 0;
}

// A folder string without a trailing '/' joins names to it as they are, so
// each joined path is examined on its own, as the scan always did.
bool ScanTree::scanLoose(const std::string& dir, std::vector<ScanItem>& items) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        unreadable(dir, errno);
        return false;
    }
    std::vector<std::string> names;
    while (struct dirent* entry = readdir(d)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            names.push_back(entry->d_name);
        }
    }
    closedir(d);
    for (const std::string& name : names) {
        std::string full = dir + name;
        struct stat st;
        if (full.size() > PATH_LIMIT || lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (full.size() + 1 <= PATH_LIMIT) walk(rootNode(full + "/"), items);
        } else if (isImageName(full.c_str(), full.size())) {
            size_t cut = full.rfind('/') + 1;  // npos + 1 is 0
            items.push_back({full.substr(0, cut), full.substr(cut)});
        }
    }
    return true;
}

bool ScanTree::scan(const std::string& dir, std::vector<ScanItem>& items) {
    if (dir.empty() || dir.back() != '/') {
        rootUsed[dir] = build;
        return scanLoose(dir, items);
    }
    return walk(rootNode(dir), items);
}

void ScanTree::endBuild() {
    for (auto root = roots.begin(); root != roots.end();) {
        if (rootUsed[root->first] == build) {
            ++root;
            continue;
        }
        dropNode(root->second);
        rootUsed.erase(root->first);
        root = roots.erase(root);
    }
    for (auto used = rootUsed.begin(); used != rootUsed.end();) {
        used = used->second == build ? std::next(used) : rootUsed.erase(used);
    }
}

}  // namespace catalogue
