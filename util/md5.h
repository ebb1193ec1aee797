// The MD5 message digest (RFC 1321), fed incrementally.
#pragma once

#include <cstdint>

extern "C" {

// The running digest. The bytes waiting in buffer number total % 64.
struct Md5Context {
    uint32_t total;     // low word of the number of bytes fed so far
    uint32_t count;     // high word of that number
    uint32_t state[4];  // chaining values A, B, C, D
    unsigned char buffer[64];
};

// Starts a new digest; returns ctx.
Md5Context* md5Starts(Md5Context* ctx);
// Feeds length bytes (0 does nothing). Whole blocks are read from input in place.
void md5Update(Md5Context* ctx, const unsigned char* input, unsigned int length);
// Pads, writes the 16-byte digest; ctx needs md5Starts before further use.
void md5Finish(Md5Context* ctx, unsigned char digest[16]);

}  // extern "C"

// Called by md5File with 0 before the first block, about once per megabyte,
// and once at the end, with the bytes hashed so far and the total size (-1
// when unknown, as for a drive that does not tell it); a non-zero result
// cancels the digest.
using Md5Progress = int (*)(void* data, long long done, long long total);

// Why md5File gives no digest.
constexpr int MD5_UNREADABLE = -1;  // null, unreadable, or neither a file nor a drive
constexpr int MD5_MISSING = -2;     // no such file (or a folder on its way is missing)
constexpr int MD5_NO_DISC = -3;     // a drive that holds no disc or gives no data

// Hashes the file at path in blocks, calling progress (may be null) as it goes.
// Only regular files and block devices are read (opening never blocks, so a
// FIFO is refused at once); a read error ends the data like the end of file.
// 0 with the digest written; 1 when progress cancelled; else one of the
// reasons above. digest is untouched unless 0.
int md5File(const char* path, unsigned char digest[16], Md5Progress progress, void* data);

// The digest as 32 lower-case hexadecimal digits and a NUL.
void md5Hex(const unsigned char digest[16], char hex[33]);
