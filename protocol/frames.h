// The wire between the dialog and a helper process: frames, the inbox that
// cuts a stream into them, and sending and receiving them with a descriptor
// alongside. Both sides use it; the dialog starts helpers (clients/spawn.h),
// a helper enters its service (helper/helper_main.h).
//
// A helper is this program's own file started again: its first argument is
// HELPER_MODE_ARGUMENT, which no user types, its second the kind, its third
// the dialog's process id, and its socket is descriptor HELPER_SOCKET_FD. It
// ends when its socket reaches end of file, or with the dialog.
//
// Messages on a helper's socket are frames: a 32-bit length in host order (of
// what follows), a one-byte kind, then the kind's fields: integers in host
// order, strings as a 32-bit length and the bytes. A frame's length is 1 to
// HELPER_FRAME_MAX; either side takes a frame outside that, or a kind or
// fields it cannot parse, as the end of the other. Every message kind, its
// fields and its limits are in protocol/messages.h.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// The helper kinds, one service each (helper/serve.h).
enum HelperKind : uint8_t { HELPER_SCAN = 1, HELPER_HASH = 2, HELPER_GAMEID = 3 };

// A helper's first argument: a control character first, so no one types it.
constexpr char HELPER_MODE_ARGUMENT[] = "\001discWren-helper";
// The descriptor a helper finds its socket on.
constexpr int HELPER_SOCKET_FD = 3;

// A message's kind byte (MessageKind, protocol/messages.h).
using HelperMessage = uint8_t;

// The largest frame length either side sends or takes.
constexpr uint32_t HELPER_FRAME_MAX = 1u << 20;

// Builds a message frame.
class HelperWriter {
public:
    explicit HelperWriter(HelperMessage kind);
    HelperWriter& u8(uint8_t value);
    HelperWriter& u32(uint32_t value);
    HelperWriter& i32(int32_t value);
    HelperWriter& i64(int64_t value);
    HelperWriter& bytes(const void* data, size_t size);
    HelperWriter& str(const std::string& text);
    HelperWriter& str(const char* text);
    // Bytes written so far, the length field included.
    size_t size() const { return out.size(); }
    // The frame, its length filled in.
    const std::string& frame();

private:
    std::string out;
};

// Reads the fields of one received message; a field past the end reads as
// zero or empty and marks the message bad.
class HelperReader {
public:
    HelperReader(const char* data, size_t size) : at(data), end(data + size) {}
    uint8_t u8();
    uint32_t u32();
    int32_t i32();
    int64_t i64();
    bool bytes(void* out, size_t size);
    std::string str();
    // A string read in place: valid while the message is.
    bool view(const char** text, size_t* size);
    bool ok() const { return good; }
    // True when every field was read and nothing is left over.
    bool done() const { return good && at == end; }

private:
    template <typename T>
    T number() {
        T value;
        bytes(&value, sizeof value);
        return value;
    }

    const char* at;
    const char* end;
    bool good = true;
};

// Frames received on a non-blocking socket: fill() reads what has arrived,
// next() hands out complete messages one at a time. Buffers at most about one
// frame beyond those handed out.
class HelperInbox {
public:
    // false once the other side is gone (end of file or an error) or has sent
    // a bad frame.
    bool fill(int fd);
    // Appends bytes as if received.
    void take(const char* data, size_t size);
    // The next complete message: its kind and fields; false when none is
    // complete or the stream is bad.
    bool next(HelperMessage* kind, const char** data, size_t* size);
    // A frame's length was 0 or over HELPER_FRAME_MAX: nothing after it is trusted.
    bool bad() const { return broken; }
    void clear() { buffer.clear(), start = 0, broken = false; }

private:
    bool full() const;

    std::string buffer;
    size_t start = 0;
    bool broken = false;
};

// Sends the whole frame on a socket (blocking, or waiting for room on a
// non-blocking one), never raising SIGPIPE; passFd >= 0 goes along with it
// (SCM_RIGHTS). false when the frame is over the cap or the other side is gone.
bool helperSendAll(int fd, const std::string& frame, int passFd = -1);
// Reads one whole message on a blocking socket; false at end of file, on an
// error or on a frame outside the cap. A descriptor that came with it lands
// in *passed (close-on-exec; -1 when none came; closed when passed is null).
bool helperReceive(int fd, HelperMessage* kind, std::string* fields, int* passed = nullptr);
