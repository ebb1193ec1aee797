#include "helper/scan/changes.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "helper/scan/mounts.h"

namespace catalogue {

namespace {

// Name changes in a folder make its listing stale; changes to the folder
// itself (permissions, removal, a move, an unmount) make everything below it stale.
constexpr uint32_t WATCH_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t NAME_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t SELF_EVENTS = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

}  // namespace

Changes::Changes() = default;

Changes::~Changes() { clear(); }

void Changes::clear() {
    if (notify >= 0) close(notify);
    notify = -1;
    watchers.clear();
    mounts.reset();
}

Changes::Stale Changes::take() {
    Stale stale;
    if (!mounts) mounts.reset(new MountWatch);
    stale.mounts = mounts->changed();
    if (notify < 0) notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify < 0) return stale;

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
                stale.all = true;
                continue;
            }
            auto users = watchers.find(event->wd);
            if (users == watchers.end()) continue;
            std::vector<int>& nodes = users->second;
            if (event->mask & IN_IGNORED) {
                // The watch is gone (folder removed or its file system unmounted).
                stale.unwatched.insert(stale.unwatched.end(), nodes.begin(), nodes.end());
                stale.below.insert(stale.below.end(), nodes.begin(), nodes.end());
                watchers.erase(users);
            } else if (event->len == 0 && (event->mask & SELF_EVENTS)) {
                stale.below.insert(stale.below.end(), nodes.begin(), nodes.end());
            } else if (event->mask & NAME_EVENTS) {
                stale.listing.insert(stale.listing.end(), nodes.begin(), nodes.end());
            }
        }
    }
    return stale;
}

int Changes::watch(int node, const std::string& path, bool root) {
    if (notify < 0) return -1;
    uint32_t mask = WATCH_EVENTS | (root ? 0 : IN_DONT_FOLLOW);
    int wd = inotify_add_watch(notify, path.c_str(), mask);
    if (wd >= 0) watchers[wd].push_back(node);
    return wd;
}

void Changes::unwatch(int node, int wd) {
    auto users = watchers.find(wd);
    if (users == watchers.end()) return;
    auto& list = users->second;
    list.erase(std::remove(list.begin(), list.end(), node), list.end());
    // The same folder reached under two roots shares one watch.
    if (list.empty()) {
        watchers.erase(users);
        inotify_rm_watch(notify, wd);
    }
}

}  // namespace catalogue
