#include "protocol/frames.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

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

bool HelperInbox::full() const {
    return broken || buffer.size() - start >= sizeof(uint32_t) + HELPER_FRAME_MAX;
}

bool HelperInbox::fill(int fd) {
    // Messages handed out by next() are done with once more is read.
    buffer.erase(0, start);
    start = 0;
    char block[65536];
    // What stays in the socket is read once next() has taken what is here.
    while (!full()) {
        ssize_t got = recv(fd, block, sizeof block, MSG_DONTWAIT);
        if (got > 0) {
            take(block, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return false;
    }
    return !broken;
}

void HelperInbox::take(const char* data, size_t size) { buffer.append(data, size); }

bool HelperInbox::next(HelperMessage* kind, const char** data, size_t* size) {
    uint32_t length;
    if (broken || buffer.size() - start < sizeof length) {
        if (start == buffer.size()) buffer.clear(), start = 0;
        return false;
    }
    memcpy(&length, buffer.data() + start, sizeof length);
    if (length < 1 || length > HELPER_FRAME_MAX) {
        broken = true;
        return false;
    }
    if (buffer.size() - start - sizeof length < length) return false;
    const char* frame = buffer.data() + start + sizeof length;
    *kind = static_cast<uint8_t>(frame[0]);
    *data = frame + 1;
    *size = length - 1;
    start += sizeof length + length;
    return true;
}

bool helperSendAll(int fd, const std::string& frame, int passFd) {
    if (frame.size() < 5 || frame.size() - 4 > HELPER_FRAME_MAX) return false;
    size_t done = 0;
    while (done < frame.size()) {
        struct iovec data = {const_cast<char*>(frame.data() + done), frame.size() - done};
        struct msghdr message = {};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (done == 0 && passFd >= 0) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            struct cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int));
            memcpy(CMSG_DATA(header), &passFd, sizeof passFd);
        }
        ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A helper that reads nothing for this long is not working.
            struct pollfd room = {fd, POLLOUT, 0};
            if (poll(&room, 1, 5000) > 0) continue;
            return false;
        }
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

namespace {

// Reads size bytes on a blocking socket, keeping the first descriptor that
// comes along in *passed and closing any other.
bool readAll(int fd, void* data, size_t size, int* passed) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        struct iovec part = {at, size};
        struct msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        alignas(struct cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t got = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        for (struct cmsghdr* header = CMSG_FIRSTHDR(&message); header;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
            size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int received;
                memcpy(&received, CMSG_DATA(header) + i * sizeof(int), sizeof received);
                if (*passed < 0)
                    *passed = received;
                else
                    close(received);
            }
        }
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool helperReceive(int fd, HelperMessage* kind, std::string* fields, int* passed) {
    int received = -1;
    uint32_t length = 0;
    uint8_t type = 0;
    bool ok = readAll(fd, &length, sizeof length, &received) && length >= 1 &&
              length <= HELPER_FRAME_MAX && readAll(fd, &type, 1, &received);
    if (ok) {
        fields->resize(length - 1);
        ok = length == 1 || readAll(fd, &(*fields)[0], length - 1, &received);
    }
    if (ok) *kind = type;
    if (passed && ok)
        *passed = received;
    else if (received >= 0)
        close(received);
    return ok;
}
