#include "util/helper.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

int launcherFd = -1;  // the dialog's end of the launcher's socket

// The launcher's socket, once its fork holds nothing else.
constexpr int LAUNCHER_FD = 3;

// Ends the calling process with its parent, and at once if that is gone already.
void endWithParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
}

// The launcher's answer: a helper's pid, with room for its socket.
struct PidMessage {
    pid_t pid = -1;
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    struct iovec data = {&pid, sizeof pid};
    struct msghdr message = {};

    PidMessage() {
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    PidMessage(const PidMessage&) = delete;
    PidMessage& operator=(const PidMessage&) = delete;
};

// Hands fd and the helper's pid to the dialog.
void sendHelper(int fd, pid_t pid) {
    PidMessage answer;
    answer.pid = pid;
    struct msghdr& message = answer.message;
    struct cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(header), &fd, sizeof fd);
    while (sendmsg(LAUNCHER_FD, &message, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

// The launcher: one byte in, one helper of that kind out, until the dialog is gone.
[[noreturn]] void runLauncher(HelperServe serve) {
    pid_t self = getpid();
    signal(SIGCHLD, SIG_IGN);  // helpers are reaped as they end
    for (;;) {
        uint8_t kind = 0;
        ssize_t got = read(LAUNCHER_FD, &kind, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got != 1) _exit(0);
        int pair[2];
        pid_t pid = -1;
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0) {
            pid = fork();
            if (pid == 0) {
                close(LAUNCHER_FD);
                close(pair[0]);
                endWithParent(self);
                signal(SIGCHLD, SIG_DFL);
                serve(static_cast<HelperKind>(kind), pair[1]);
                _exit(0);
            }
            close(pair[1]);
            if (pid > 0) sendHelper(pair[0], pid);
            close(pair[0]);
        }
        // A pid alone, with no descriptor, says that no helper could be made.
        if (pid <= 0) send(LAUNCHER_FD, &pid, sizeof pid, MSG_NOSIGNAL);
    }
}

}  // namespace

int helperLaunch(HelperServe serve) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return -1;
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        close(pair[0]);
        close(pair[1]);
        return -1;
    }
    if (pid == 0) {
        // Nothing of the dialog's stays open here: a host that reads the
        // dialog's output must see its end when the dialog ends.
        if (dup2(pair[1], LAUNCHER_FD) < 0) _exit(0);
        int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
        close_range(LAUNCHER_FD + 1, ~0U, 0);
        endWithParent(parent);
        runLauncher(serve);
    }
    close(pair[1]);
    launcherFd = pair[0];
    return 0;
}

int helperStart(HelperKind kind, pid_t* pid) {
    if (launcherFd < 0) return -1;
    uint8_t byte = kind;
    ssize_t sent;
    while ((sent = send(launcherFd, &byte, 1, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    // The launcher only forks, so its answer follows at once.
    PidMessage answer;
    struct msghdr& message = answer.message;
    pid_t& child = answer.pid;
    ssize_t got = -1;
    if (sent == 1)
        while ((got = recvmsg(launcherFd, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
        }
    if (got != static_cast<ssize_t>(sizeof child)) {
        // The launcher is gone: no helper can be had any more.
        close(launcherFd);
        launcherFd = -1;
        return -1;
    }
    int fd = -1;
    struct cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS)
        memcpy(&fd, CMSG_DATA(header), sizeof fd);
    if (fd < 0) return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (pid) *pid = child;
    return fd;
}

// ---- Frames

HelperWriter::HelperWriter(HelperMessage kind) {
    out.assign(4, '\0');
    out.push_back(static_cast<char>(kind));
}

HelperWriter& HelperWriter::bytes(const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
    return *this;
}

HelperWriter& HelperWriter::u8(uint8_t value) { return bytes(&value, sizeof value); }
HelperWriter& HelperWriter::u32(uint32_t value) { return bytes(&value, sizeof value); }
HelperWriter& HelperWriter::i32(int32_t value) { return bytes(&value, sizeof value); }
HelperWriter& HelperWriter::i64(int64_t value) { return bytes(&value, sizeof value); }

HelperWriter& HelperWriter::str(const std::string& text) {
    u32(static_cast<uint32_t>(text.size()));
    return bytes(text.data(), text.size());
}

HelperWriter& HelperWriter::str(const char* text) { return str(std::string(text ? text : "")); }

const std::string& HelperWriter::frame() {
    uint32_t length = static_cast<uint32_t>(out.size() - 4);
    memcpy(&out[0], &length, sizeof length);
    return out;
}

bool HelperReader::bytes(void* out, size_t size) {
    if (!good || static_cast<size_t>(end - at) < size) {
        good = false;
        memset(out, 0, size);
        return false;
    }
    memcpy(out, at, size);
    at += size;
    return true;
}

uint8_t HelperReader::u8() { return number<uint8_t>(); }
uint32_t HelperReader::u32() { return number<uint32_t>(); }
int32_t HelperReader::i32() { return number<int32_t>(); }
int64_t HelperReader::i64() { return number<int64_t>(); }

bool HelperReader::view(const char** text, size_t* size) {
    uint32_t length = u32();
    if (!good || static_cast<size_t>(end - at) < length) {
        good = false;
        *text = "";
        *size = 0;
        return false;
    }
    *text = at;
    *size = length;
    at += length;
    return true;
}

std::string HelperReader::str() {
    const char* text;
    size_t size;
    view(&text, &size);
    return std::string(text, size);
}

bool HelperInbox::fill(int fd) {
    // Messages handed out by next() are done with once more is read.
    buffer.erase(0, start);
    start = 0;
    char block[65536];
    for (;;) {
        ssize_t got = recv(fd, block, sizeof block, MSG_DONTWAIT);
        if (got > 0) {
            buffer.append(block, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

bool HelperInbox::next(HelperMessage* kind, const char** data, size_t* size) {
    uint32_t length;
    if (buffer.size() - start < sizeof length + 1) {
        if (start == buffer.size()) clear();
        return false;
    }
    memcpy(&length, buffer.data() + start, sizeof length);
    if (length < 1 || buffer.size() - start - sizeof length < length) return false;
    const char* frame = buffer.data() + start + sizeof length;
    *kind = static_cast<HelperMessage>(static_cast<uint8_t>(frame[0]));
    *data = frame + 1;
    *size = length - 1;
    start += sizeof length + length;
    return true;
}

bool helperSendAll(int fd, const std::string& frame) {
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t sent = send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

static bool readAll(int fd, void* data, size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = read(fd, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool helperReceive(int fd, HelperMessage* kind, std::string* fields) {
    uint32_t length;
    uint8_t type;
    // No request of the dialog's comes near this size.
    constexpr uint32_t MAX_REQUEST = 64u << 20;
    if (!readAll(fd, &length, sizeof length) || length < 1 || length > MAX_REQUEST) return false;
    if (!readAll(fd, &type, 1)) return false;
    fields->resize(length - 1);
    if (!readAll(fd, &(*fields)[0], length - 1)) return false;
    *kind = static_cast<HelperMessage>(type);
    return true;
}
