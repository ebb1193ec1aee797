#include "util/md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// A little-endian 32-bit word from any address; one plain load on x86.
inline uint32_t loadWord(const unsigned char* p) {
    uint32_t word;
    memcpy(&word, p, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    return word;
}

inline void storeWord(unsigned char* p, uint32_t word) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    memcpy(p, &word, sizeof word);
}

inline uint32_t rotateLeft(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The round functions in forms that need one operation fewer than the
// textbook ones, arranged so that b, the value finished last, enters as late
// as possible: F picks c or d by b, G picks b or c by d (its two halves share
// no bits, so they are added separately), H and I take b in their last step.
// The message word and the constant are added to a while b is still in work.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP(f, a, b, c, d, k, s, t) \
    a = a + X(k) + t + f(b, c, d);       \
    a = rotateLeft(a, s) + b;
#define MD5_STEP_F(a, b, c, d, k, s, t) MD5_STEP(MD5_F, a, b, c, d, k, s, t)
#define MD5_STEP_H(a, b, c, d, k, s, t) MD5_STEP(MD5_H, a, b, c, d, k, s, t)
#define MD5_STEP_I(a, b, c, d, k, s, t) MD5_STEP(MD5_I, a, b, c, d, k, s, t)
#define MD5_STEP_G(a, b, c, d, k, s, t)            \
    a = a + X(k) + t + (~(d) & (c)) + ((d) & (b)); \
    a = rotateLeft(a, s) + b;

// One 64-byte block into the chaining values, written out step by step.
void md5Process(uint32_t state[4], const unsigned char* block) {
#define X(k) loadWord(block + 4 * (k))
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    MD5_STEP_F(a, b, c, d, 0, 7, 0xd76aa478)
    MD5_STEP_F(d, a, b, c, 1, 12, 0xe8c7b756)
    MD5_STEP_F(c, d, a, b, 2, 17, 0x242070db)
    MD5_STEP_F(b, c, d, a, 3, 22, 0xc1bdceee)
    MD5_STEP_F(a, b, c, d, 4, 7, 0xf57c0faf)
    MD5_STEP_F(d, a, b, c, 5, 12, 0x4787c62a)
    MD5_STEP_F(c, d, a, b, 6, 17, 0xa8304613)
    MD5_STEP_F(b, c, d, a, 7, 22, 0xfd469501)
    MD5_STEP_F(a, b, c, d, 8, 7, 0x698098d8)
    MD5_STEP_F(d, a, b, c, 9, 12, 0x8b44f7af)
    MD5_STEP_F(c, d, a, b, 10, 17, 0xffff5bb1)
    MD5_STEP_F(b, c, d, a, 11, 22, 0x895cd7be)
    MD5_STEP_F(a, b, c, d, 12, 7, 0x6b901122)
    MD5_STEP_F(d, a, b, c, 13, 12, 0xfd987193)
    MD5_STEP_F(c, d, a, b, 14, 17, 0xa679438e)
    MD5_STEP_F(b, c, d, a, 15, 22, 0x49b40821)

    MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562)
    MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340)
    MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51)
    MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aa)
    MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105d)
    MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453)
    MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681)
    MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8)
    MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6)
    MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6)
    MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87)
    MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14ed)
    MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905)
    MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8)
    MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9)
    MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8a)

    MD5_STEP_H(a, b, c, d, 5, 4, 0xfffa3942)
    MD5_STEP_H(d, a, b, c, 8, 11, 0x8771f681)
    MD5_STEP_H(c, d, a, b, 11, 16, 0x6d9d6122)
    MD5_STEP_H(b, c, d, a, 14, 23, 0xfde5380c)
    MD5_STEP_H(a, b, c, d, 1, 4, 0xa4beea44)
    MD5_STEP_H(d, a, b, c, 4, 11, 0x4bdecfa9)
    MD5_STEP_H(c, d, a, b, 7, 16, 0xf6bb4b60)
    MD5_STEP_H(b, c, d, a, 10, 23, 0xbebfbc70)
    MD5_STEP_H(a, b, c, d, 13, 4, 0x289b7ec6)
    MD5_STEP_H(d, a, b, c, 0, 11, 0xeaa127fa)
    MD5_STEP_H(c, d, a, b, 3, 16, 0xd4ef3085)
    MD5_STEP_H(b, c, d, a, 6, 23, 0x04881d05)
    MD5_STEP_H(a, b, c, d, 9, 4, 0xd9d4d039)
    MD5_STEP_H(d, a, b, c, 12, 11, 0xe6db99e5)
    MD5_STEP_H(c, d, a, b, 15, 16, 0x1fa27cf8)
    MD5_STEP_H(b, c, d, a, 2, 23, 0xc4ac5665)

    MD5_STEP_I(a, b, c, d, 0, 6, 0xf4292244)
    MD5_STEP_I(d, a, b, c, 7, 10, 0x432aff97)
    MD5_STEP_I(c, d, a, b, 14, 15, 0xab9423a7)
    MD5_STEP_I(b, c, d, a, 5, 21, 0xfc93a039)
    MD5_STEP_I(a, b, c, d, 12, 6, 0x655b59c3)
    MD5_STEP_I(d, a, b, c, 3, 10, 0x8f0ccc92)
    MD5_STEP_I(c, d, a, b, 10, 15, 0xffeff47d)
    MD5_STEP_I(b, c, d, a, 1, 21, 0x85845dd1)
    MD5_STEP_I(a, b, c, d, 8, 6, 0x6fa87e4f)
    MD5_STEP_I(d, a, b, c, 15, 10, 0xfe2ce6e0)
    MD5_STEP_I(c, d, a, b, 6, 15, 0xa3014314)
    MD5_STEP_I(b, c, d, a, 13, 21, 0x4e0811a1)
    MD5_STEP_I(a, b, c, d, 4, 6, 0xf7537e82)
    MD5_STEP_I(d, a, b, c, 11, 10, 0xbd3af235)
    MD5_STEP_I(c, d, a, b, 2, 15, 0x2ad7d2bb)
    MD5_STEP_I(b, c, d, a, 9, 21, 0xeb86d391)

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
#undef X
}

const unsigned char padding[64] = {0x80};

}  // namespace

Md5Context* md5Starts(Md5Context* ctx) {
    ctx->total = 0;
    ctx->count = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    return ctx;
}

void md5Update(Md5Context* ctx, const unsigned char* input, unsigned int length) {
    if (length == 0) return;
    uint32_t left = ctx->total & 63;
    uint32_t fill = 64 - left;
    ctx->total += length;
    if (ctx->total < length) ctx->count++;

    if (left && length >= fill) {
        memcpy(ctx->buffer + left, input, fill);
        md5Process(ctx->state, ctx->buffer);
        input += fill;
        length -= fill;
        left = 0;
    }
    for (; length >= 64; input += 64, length -= 64) md5Process(ctx->state, input);
    if (length) memcpy(ctx->buffer + left, input, length);
}

void md5Finish(Md5Context* ctx, unsigned char digest[16]) {
    uint32_t high = (ctx->count << 3) | (ctx->total >> 29);
    uint32_t low = ctx->total << 3;
    unsigned char bits[8];
    storeWord(bits, low);
    storeWord(bits + 4, high);

    uint32_t last = ctx->total & 63;
    uint32_t padLength = last < 56 ? 56 - last : 120 - last;
    md5Update(ctx, padding, padLength);
    md5Update(ctx, bits, 8);

    for (int i = 0; i < 4; ++i) storeWord(digest + 4 * i, ctx->state[i]);
}

void md5Hex(const unsigned char digest[16], char hex[33]) {
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        hex[2 * i] = digits[digest[i] >> 4];
        hex[2 * i + 1] = digits[digest[i] & 15];
    }
    hex[32] = '\0';
}

int md5File(const char* path, unsigned char digest[16], Md5Progress progress, void* data) {
    if (!path) return MD5_UNREADABLE;
    // Non-blocking, so that a FIFO without a writer cannot hold the caller.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return MD5_MISSING;
        return errno == ENOMEDIUM ? MD5_NO_DISC : MD5_UNREADABLE;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        close(fd);
        return MD5_UNREADABLE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    long long total = st.st_size;
    if (S_ISBLK(st.st_mode)) {
        // A drive tells its size through its end, if at all.
        off_t end = lseek(fd, 0, SEEK_END);
        total = end > 0 ? end : -1;
        lseek(fd, 0, SEEK_SET);
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // Blocks small enough to stay in the cache between the read and the digest;
    // progress is reported about once per megabyte.
    constexpr size_t blockSize = 64 << 10;
    constexpr long long progressStep = 1 << 20;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize]);
    if (!block) {
        close(fd);
        return MD5_UNREADABLE;
    }
    Md5Context ctx;
    md5Starts(&ctx);
    long long done = 0, reported = 0;
    int result = progress && progress(data, 0, total) != 0 ? 1 : 0;
    while (result == 0) {
        ssize_t got = read(fd, block.get(), blockSize);
        if (got < 0 && errno == EINTR) continue;
        if (got > 0) {
            md5Update(&ctx, block.get(), static_cast<unsigned int>(got));
            done += got;
        }
        bool end = got <= 0;
        if (progress && (end || done - reported >= progressStep)) {
            reported = done;
            if (progress(data, done, total) != 0) result = 1;
        }
        if (end) break;
    }
    close(fd);
    // A drive that gives no data holds no disc: the digest of nothing is no disc's.
    if (result == 0 && S_ISBLK(st.st_mode) && done == 0) return MD5_NO_DISC;
    if (result == 0) md5Finish(&ctx, digest);
    return result;
}
