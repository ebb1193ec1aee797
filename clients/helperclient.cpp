#include "clients/helperclient.h"

#include <errno.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
// This C library's header lacks the C++ linkage block.
extern "C" {
#include <sys/pidfd.h>
}

#include <list>

#include "clients/spawn.h"

namespace {

// A helper let go and not yet reaped.
struct Reaping {
    int pidfd;
    bool killed;
    guint watch;
    void (*ended)(void*);
    void* data;
};

std::list<Reaping> reaping;
void (*endWatch)(const HelperEnd&) = nullptr;

// Reaps the helper when it has ended: true then (or when it is not ours to
// reap, as in a forked copy of the dialog), and the end goes to the watch.
bool reaped(const Reaping& helper) {
    siginfo_t info = {};
    if (waitid(P_PIDFD, static_cast<id_t>(helper.pidfd), &info, WEXITED | WNOHANG) != 0)
        return errno != EINTR;
    if (info.si_pid == 0) return false;
    if (endWatch) endWatch({info.si_pid, info.si_code, info.si_status, helper.killed});
    return true;
}

void finish(std::list<Reaping>::iterator entry) {
    Reaping done = *entry;
    reaping.erase(entry);
    if (done.watch) g_source_remove(done.watch);
    close(done.pidfd);
    if (done.ended) done.ended(done.data);
}

gboolean onEnded(gint pidfd, GIOCondition, gpointer) {
    for (auto entry = reaping.begin(); entry != reaping.end(); ++entry) {
        if (entry->pidfd != pidfd) continue;
        if (!reaped(*entry)) return G_SOURCE_CONTINUE;
        entry->watch = 0;  // removed by returning
        finish(entry);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_REMOVE;
}

// Reaps the helper behind pidfd once it ends, never waiting for it here.
void reapWhenEnded(int pidfd, bool killed, void (*ended)(void*), void* data) {
    reaping.push_back({pidfd, killed, 0, ended, data});
    if (reaped(reaping.back())) {
        finish(std::prev(reaping.end()));
        return;
    }
    reaping.back().watch = g_unix_fd_add(pidfd, G_IO_IN, onEnded, nullptr);
}

}  // namespace

struct HelperClientWatch {
    static gboolean onReadable(gint, GIOCondition, gpointer self) {
        auto* client = static_cast<HelperClient*>(self);
        unsigned helper = client->generation;
        client->takeIn();
        // A new helper has a watch of its own; this one went with its socket.
        return helper != client->generation ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
    }
};

int helperReapEnded() {
    for (auto entry = reaping.begin(); entry != reaping.end();) {
        auto here = entry++;
        if (reaped(*here)) finish(here);
    }
    return static_cast<int>(reaping.size());
}

void helperWatchEnds(void (*watch)(const HelperEnd& end)) { endWatch = watch; }

HelperClient::~HelperClient() { drop(false); }

bool HelperClient::start() {
    helperReapEnded();
    fd = helperSpawn(service.kind, &pidfd, &child);
    if (fd < 0) return false;
    generation++;
    watch = g_unix_fd_add(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                          HelperClientWatch::onReadable, this);
    return true;
}

void HelperClient::drop(bool kill, void (*ended)(void*), void* endedData) {
    pending = false;
    retried = false;
    pendingFrame.clear();
    if (pendingFd >= 0) close(pendingFd);
    pendingFd = -1;
    if (fd < 0) {
        if (ended) ended(endedData);
        return;
    }
    if (watch) g_source_remove(watch);
    watch = 0;
    close(fd);
    fd = -1;
    inbox.clear();
    generation++;
    if (kill) pidfd_send_signal(pidfd, SIGKILL, nullptr, 0);
    reapWhenEnded(pidfd, kill, ended, endedData);
    pidfd = -1;
    child = -1;
}

// Sends the outstanding request, to a new helper when the one there is gone.
bool HelperClient::sendPending() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (fd < 0 && !start()) return false;
        if (helperSendAll(fd, pendingFrame, pendingFd)) return true;
        // Gone before it could take the request: the request was never seen.
        int keep = pendingFd;
        pendingFd = -1;
        std::string frame;
        frame.swap(pendingFrame);
        drop(true);
        pendingFrame.swap(frame);
        pendingFd = keep;
        pending = true;
    }
    return false;
}

bool HelperClient::request(const std::string& frame, int passFd) {
    if (pendingFd >= 0) close(pendingFd);
    pendingFd = passFd >= 0 ? fcntl(passFd, F_DUPFD_CLOEXEC, 0) : -1;
    pendingFrame = frame;
    pending = true;
    retried = false;
    if (sendPending()) return true;
    pending = false;
    pendingFrame.clear();
    if (pendingFd >= 0) close(pendingFd);
    pendingFd = -1;
    return false;
}

bool HelperClient::requestFromHere(const std::string& frame) {
    int here = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (here < 0) return false;
    bool sent = request(frame, here);
    close(here);
    return sent;
}

void HelperClient::answered() {
    pending = false;
    retried = false;
    pendingFrame.clear();
    if (pendingFd >= 0) close(pendingFd);
    pendingFd = -1;
}

// The helper ended or broke the protocol: its request goes to a new helper
// once, and is lost the second time.
void HelperClient::failed(bool kill) {
    if (!pending || retried) {
        bool wasPending = pending;
        drop(kill);
        if (wasPending && service.lost) service.lost(service.data);
        return;
    }
    std::string frame;
    frame.swap(pendingFrame);
    int keep = pendingFd;
    pendingFd = -1;
    drop(kill);
    pendingFrame.swap(frame);
    pendingFd = keep;
    pending = true;
    retried = true;
    if (sendPending()) return;
    answered();
    if (service.lost) service.lost(service.data);
}

void HelperClient::takeIn() {
    unsigned helper = generation;
    bool alive = inbox.fill(fd);
    HelperMessage kind;
    const char* data;
    size_t size;
    while (helper == generation && inbox.next(&kind, &data, &size)) {
        HelperReader in(data, size);
        if (!service.handle || !service.handle(kind, in, service.data)) {
            if (helper == generation) failed(true);
            return;
        }
    }
    if (helper != generation) return;
    if (inbox.bad())
        failed(true);
    else if (!alive)
        failed(false);
}

bool HelperClient::wait(int timeoutMs) {
    gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    while (pending && fd >= 0) {
        int wait = -1;
        if (timeoutMs >= 0) {
            gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0) break;
            wait = static_cast<int>((left + 999) / 1000);
        }
        struct pollfd ready = {fd, POLLIN, 0};
        int got = poll(&ready, 1, wait);
        if (got < 0 && errno != EINTR) break;
        if (got > 0) takeIn();
    }
    helperReapEnded();
    return !pending;
}
