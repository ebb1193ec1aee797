// Helper processes: every call into an image folder or an image file is made
// by a helper process, so that a share that does not answer can hold only a
// helper, never the dialog.
//
// The dialog forks a launcher on the first line of main, while it is still one
// thread with no display connection. The launcher holds none of the dialog's
// descriptors (its standard streams go to /dev/null) and does nothing but fork
// helpers on request, so it never waits for storage; each helper is a fresh
// fork of it and talks to the dialog over a socket of its own. A helper ends
// when its socket reaches end of file, or with the launcher, which ends with
// the dialog; a call into storage that hangs delays that end, never the dialog's.
//
// Messages on a helper's socket are frames: a 32-bit length in host order (of
// what follows), a one-byte kind, then the kind's fields: integers in host
// order, strings as a 32-bit length and the bytes.
//
//   kind          from    fields                          meaning
//   SCAN          dialog  u32 seq, u8 rereadAll, str cwd,  scan these image folders (relative
//                         u32 n, n × str folder            ones from cwd); newer requests replace
//                         older
//   FOUND         scan    u32 images                       images found so far by the running scan
//   UNREADABLE    scan    i32 errno, str folder            a folder that cannot be read
//   IMAGES        scan    u32 seq, u32 n, n × str path,    done: the whole image list, sorted,
//   answering
//                         str name                         every request up to seq
//   HASH          dialog  str cwd, str file                hash this data file
//   PROGRESS      hash    i64 done, i64 total              bytes hashed so far (total -1: unknown)
//   DIGEST        hash    i32 result, 16 bytes             done: md5File's result and digest
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

enum HelperKind : uint8_t { HELPER_SCAN = 1, HELPER_HASH = 2 };

enum HelperMessage : uint8_t {
    HELPER_MSG_SCAN = 1,
    HELPER_MSG_FOUND,
    HELPER_MSG_UNREADABLE,
    HELPER_MSG_IMAGES,
    HELPER_MSG_HASH,
    HELPER_MSG_PROGRESS,
    HELPER_MSG_DIGEST,
};

// The service a helper of the given kind runs on its socket; it returns when
// the helper is to end.
using HelperServe = void (*)(HelperKind kind, int fd);

// Forks the launcher. Call first thing in main, before any thread or display
// connection exists. 0, or -1 when no launcher could be made (helpers are then
// never started and their work is not done).
int helperLaunch(HelperServe serve);

// A new helper of the given kind from the launcher: the dialog's end of its
// socket (close-on-exec, non-blocking), and its process id in *pid when pid is
// given; -1 when there is no launcher or it failed.
int helperStart(HelperKind kind, pid_t* pid = nullptr);

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
// next() hands out complete messages one at a time.
class HelperInbox {
public:
    // false once the other side is gone (end of file or an error).
    bool fill(int fd);
    // The next complete message: its kind and fields; false when none is complete.
    bool next(HelperMessage* kind, const char** data, size_t* size);
    void clear() { buffer.clear(), start = 0; }

private:
    std::string buffer;
    size_t start = 0;
};

// Sends the whole frame on a blocking socket (the helpers' side), never raising
// SIGPIPE. false when the other side is gone.
bool helperSendAll(int fd, const std::string& frame);
// Reads one whole message on a blocking socket; false at end of file or error.
bool helperReceive(int fd, HelperMessage* kind, std::string* fields);
