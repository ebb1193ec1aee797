#include "catalogue/cdscan.h"

#include <errno.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "util/helper.h"

namespace {

struct Client {
    int fd = -1;  // the scan helper's socket, -1 while none runs
    pid_t pid = -1;
    guint watch = 0;
    HelperInbox inbox;
    uint32_t sent = 0;      // number of the last request sent
    uint32_t answered = 0;  // number of the last request answered
    std::vector<std::string> sentFolders;
    bool queued = false;  // a request waits for the answer to the one sent
    bool queuedRereadAll = false;
    std::vector<std::string> queuedFolders;
    int found = 0;
    CdscanReceiver receiver = nullptr;
    void* receiverData = nullptr;
};

Client client;

void dropHelper() {
    if (client.watch) g_source_remove(client.watch);
    client.watch = 0;
    if (client.fd >= 0) close(client.fd);
    client.fd = -1;
    client.pid = -1;
    client.inbox.clear();
}

void takeImages(HelperReader& in) {
    uint32_t number = in.u32();
    uint32_t count = in.u32();
    std::vector<CD*> images;
    images.reserve(count < (1u << 20) ? count : 0);
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        std::string path = in.str();
        std::string name = in.str();
        if (!in.ok()) break;
        if (CD* cd = cdNew(path.c_str(), name.c_str())) images.push_back(cd);
    }
    if (in.ok() && number == client.sent && client.sent != client.answered) {
        client.answered = number;
        client.found = 0;
        if (client.receiver) {
            client.receiver(images, client.sentFolders, client.receiverData);
        }
    }
    for (CD* cd : images) CDDestructor(cd);
}

void handle(HelperMessage kind, const char* data, size_t size) {
    HelperReader in(data, size);
    switch (kind) {
    case HELPER_MSG_FOUND:
        client.found = static_cast<int>(in.u32());
        break;
    case HELPER_MSG_UNREADABLE: {
        int error = in.i32();
        std::string folder = in.str();
        if (in.ok()) {
            errno = error;
            perror(folder.c_str());
        }
        break;
    }
    case HELPER_MSG_IMAGES:
        takeImages(in);
        break;
    default:
        break;
    }
}

bool send(const std::vector<std::string>& folders, bool rereadAll);

// Reads what the helper sent; a helper that is gone answers nothing more, and
// the images already known stay.
void takeIn() {
    bool alive = client.inbox.fill(client.fd);
    HelperMessage kind;
    const char* data;
    size_t size;
    while (client.fd >= 0 && client.inbox.next(&kind, &data, &size)) handle(kind, data, size);
    if (!alive) {
        dropHelper();
        // The request is dropped with it; the next one starts a new helper.
        client.answered = client.sent;
        client.found = 0;
        client.queued = false;
        return;
    }
    if (client.queued && client.sent == client.answered) {
        client.queued = false;
        send(client.queuedFolders, client.queuedRereadAll);
    }
}

gboolean onReadable(gint, GIOCondition, gpointer) {
    takeIn();
    return client.watch ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

bool startHelper() {
    client.fd = helperStart(HELPER_SCAN, &client.pid);
    if (client.fd < 0) return false;
    client.watch = g_unix_fd_add(
        client.fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, nullptr);
    return true;
}

// Sends a request, starting a helper when none runs; a helper found gone is
// started once more.
bool send(const std::vector<std::string>& folders, bool rereadAll) {
    char* cwd = g_get_current_dir();
    HelperWriter out(HELPER_MSG_SCAN);
    out.u32(client.sent + 1)
        .u8(rereadAll ? 1 : 0)
        .str(cwd)
        .u32(static_cast<uint32_t>(folders.size()));
    g_free(cwd);
    for (const std::string& folder : folders) out.str(folder);
    const std::string& frame = out.frame();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (client.fd < 0 && !startHelper()) return false;
        // One request is in flight at a time, so a fresh socket always has room.
        ssize_t done = ::send(client.fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done == static_cast<ssize_t>(frame.size())) {
            client.sent++;
            client.sentFolders = folders;
            client.found = 0;
            return true;
        }
        dropHelper();
    }
    return false;
}

}  // namespace

void cdscanSetReceiver(CdscanReceiver receiver, void* data) {
    client.receiver = receiver;
    client.receiverData = data;
}

void cdscanPrepare() {
    if (client.fd < 0) startHelper();
}

void cdscanRequest(const std::vector<std::string>& folders, bool rereadAll) {
    if (folders.empty() && !cdscanBusy()) {
        std::vector<CD*> none;
        if (client.receiver) client.receiver(none, folders, client.receiverData);
        return;
    }
    if (cdscanBusy()) {
        client.queuedFolders = folders;
        client.queuedRereadAll = client.queued ? client.queuedRereadAll || rereadAll : rereadAll;
        client.queued = true;
        return;
    }
    send(folders, rereadAll);
}

bool cdscanBusy() { return client.sent != client.answered || client.queued; }

bool cdscanWait(int timeoutMs) {
    gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    while (cdscanBusy() && client.fd >= 0) {
        int wait = -1;
        if (timeoutMs >= 0) {
            gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0) break;
            wait = static_cast<int>((left + 999) / 1000);
        }
        struct pollfd ready = {client.fd, POLLIN, 0};
        int got = poll(&ready, 1, wait);
        if (got < 0 && errno != EINTR) break;
        if (got > 0) takeIn();
    }
    return !cdscanBusy();
}

int cdscanFound() { return client.found; }

int cdscanHelperPid() { return client.fd >= 0 ? client.pid : -1; }

void cdscanStop() {
    dropHelper();
    client.answered = client.sent;
    client.queued = false;
    client.found = 0;
}
