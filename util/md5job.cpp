#include "util/md5job.h"

#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <set>
#include <string>

#include "util/helper.h"
#include "util/md5.h"

namespace {

struct Job {
    std::string file;
    int fd = -1;
    pid_t pid = -1;
    guint watch = 0;
    HelperInbox inbox;
    Md5JobCallbacks callbacks;
    bool waiting = false;  // queued behind a cancelled hash of the same file
};

Job job;
bool running = false;
// Files whose cancelled hash has a helper that has not ended yet; a watch on
// its socket waits for its end.
std::set<std::string> cancelled;

void closeJob() {
    if (job.watch) g_source_remove(job.watch);
    if (job.fd >= 0) close(job.fd);
    job.watch = 0;
    job.fd = -1;
    job.pid = -1;
    job.inbox.clear();
    running = false;
}

void finish(int result, const unsigned char digest[16]) {
    Md5JobCallbacks callbacks = job.callbacks;
    closeJob();
    if (callbacks.done) callbacks.done(result, digest, callbacks.data);
}

gboolean onJobReadable(gint, GIOCondition, gpointer) {
    bool alive = job.inbox.fill(job.fd);
    HelperMessage kind;
    const char* data;
    size_t size;
    while (running && job.inbox.next(&kind, &data, &size)) {
        HelperReader in(data, size);
        if (kind == HELPER_MSG_PROGRESS) {
            long long done = in.i64();
            long long total = in.i64();
            if (in.ok() && job.callbacks.progress)
                job.callbacks.progress(done, total, job.callbacks.data);
        } else if (kind == HELPER_MSG_DIGEST) {
            int result = in.i32();
            unsigned char digest[16];
            in.bytes(digest, sizeof digest);
            finish(in.ok() ? result : -1, digest);
            return G_SOURCE_REMOVE;
        }
    }
    if (!alive && running) {
        // A helper that died mid-way gives no digest, as an unreadable file.
        unsigned char none[16] = {};
        finish(-1, none);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

bool begin() {
    job.fd = helperStart(HELPER_HASH, &job.pid);
    if (job.fd < 0) return false;
    char* cwd = g_get_current_dir();
    HelperWriter out(HELPER_MSG_HASH);
    out.str(cwd).str(job.file);
    g_free(cwd);
    // The request is small and the socket new: it goes at once.
    if (!helperSendAll(job.fd, out.frame())) {
        close(job.fd);
        job.fd = -1;
        return false;
    }
    job.watch = g_unix_fd_add(job.fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                              onJobReadable, nullptr);
    return true;
}

// A cancelled hash's helper ended: a job waiting for it starts now.
gboolean onCancelledEnd(gint fd, GIOCondition, gpointer file) {
    auto* name = static_cast<std::string*>(file);
    char scratch[4096];
    if (read(fd, scratch, sizeof scratch) > 0) return G_SOURCE_CONTINUE;
    close(fd);
    cancelled.erase(*name);
    if (running && job.waiting && job.file == *name) {
        job.waiting = false;
        if (!begin()) {
            unsigned char none[16] = {};
            finish(-1, none);
        }
    }
    delete name;
    return G_SOURCE_REMOVE;
}

}  // namespace

bool md5jobStart(const char* file, const Md5JobCallbacks& callbacks) {
    if (running || !file) return false;
    job.file = file;
    job.callbacks = callbacks;
    job.waiting = cancelled.count(job.file) != 0;
    if (!job.waiting && !begin()) return false;
    running = true;
    return true;
}

bool md5jobRunning() { return running; }

void md5jobCancel() {
    if (!running) return;
    if (job.waiting || job.fd < 0) {
        closeJob();
        return;
    }
    // The helper is stopped; its socket tells when it has really ended.
    kill(job.pid, SIGKILL);
    g_source_remove(job.watch);
    job.watch = 0;
    g_unix_fd_add(job.fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onCancelledEnd,
                  new std::string(job.file));
    cancelled.insert(job.file);
    job.fd = -1;
    closeJob();
}

// ---- The helper's side

namespace {

// Sends the progress on; the dialog's socket becoming readable means it is
// gone (or cancelled): the digest stops.
int sendProgress(void* data, long long done, long long total) {
    int fd = *static_cast<int*>(data);
    HelperWriter out(HELPER_MSG_PROGRESS);
    out.i64(done).i64(total);
    if (!helperSendAll(fd, out.frame())) return 1;
    struct pollfd ready = {fd, POLLIN, 0};
    return poll(&ready, 1, 0) > 0 ? 1 : 0;
}

}  // namespace

void md5Serve(int fd) {
    HelperMessage kind;
    std::string fields;
    if (!helperReceive(fd, &kind, &fields) || kind != HELPER_MSG_HASH) return;
    HelperReader in(fields.data(), fields.size());
    std::string cwd = in.str();
    std::string file = in.str();
    if (!in.ok() || chdir(cwd.c_str()) != 0) return;
    unsigned char digest[16] = {};
    int result = md5File(file.c_str(), digest, sendProgress, &fd);
    HelperWriter out(HELPER_MSG_DIGEST);
    out.i32(result).bytes(digest, sizeof digest);
    helperSendAll(fd, out.frame());
}
