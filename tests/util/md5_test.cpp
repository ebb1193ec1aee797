// The MD5 digest: known answers, incremental feeding, and whole files.
#include "util/md5.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "disc/datafile.h"
#include "support/testsupport.h"

namespace {

std::string hexOf(const unsigned char digest[16]) {
    char hex[33];
    md5Hex(digest, hex);
    return hex;
}

// The digest of data fed in pieces of chunk bytes (0: all at once).
std::string digestOf(const std::string& data, size_t chunk = 0) {
    Md5Context ctx;
    EXPECT_EQ(md5Starts(&ctx), &ctx);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (chunk == 0) chunk = data.size() + 1;
    for (size_t done = 0; done < data.size(); done += chunk) {
        md5Update(&ctx, bytes + done,
                  static_cast<unsigned int>(std::min(chunk, data.size() - done)));
        md5Update(&ctx, bytes, 0);  // empty updates change nothing
    }
    unsigned char digest[16];
    md5Finish(&ctx, digest);
    return hexOf(digest);
}

// 100,000 bytes of a fixed pattern; its digest was taken with another tool.
std::string pattern() {
    std::string data(100000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + 3) & 255);
    return data;
}
const char patternDigest[] = "59f08777fcd1aa2b8e0c8f892cfaae09";

TEST(Md5, KnownAnswers) {
    struct Case {
        std::string input;
        const char* digest;
    } cases[] = {
        // The test suite of RFC 1321, appendix A.5.
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {std::string("1234567890") + "1234567890" + "1234567890" + "1234567890" + "1234567890" +
             "1234567890" + "1234567890" + "1234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Around the end of a block: 55 bytes pad into one final block, 56 to 63 into two.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {pattern(), patternDigest},
    };
    // The same digests in memory and through a file.
    testsupport::ScratchDir scratch;
    for (const Case& c : cases) {
        EXPECT_EQ(digestOf(c.input), c.digest) << c.input.size();
        testsupport::writeFile("vector.bin", c.input);
        unsigned char digest[16];
        ASSERT_EQ(md5File("vector.bin", digest, nullptr, nullptr), 0);
        EXPECT_EQ(hexOf(digest), c.digest) << c.input.size();
    }
}

TEST(Md5, AnyChunkingGivesTheSameDigest) {
    std::string data = pattern();
    for (size_t chunk : {1, 63, 64, 65, 10000, 99999}) {
        EXPECT_EQ(digestOf(data, chunk), patternDigest) << chunk;
    }
    // Input that starts at an odd address is read correctly as well.
    std::string shifted = "x" + data;
    Md5Context ctx;
    md5Starts(&ctx);
    md5Update(&ctx, reinterpret_cast<const unsigned char*>(shifted.data()) + 1, 100000);
    unsigned char digest[16];
    md5Finish(&ctx, digest);
    EXPECT_EQ(hexOf(digest), patternDigest);
}

struct Progress {
    std::vector<long long> done;
    std::vector<long long> totals;
    size_t cancelAfter = 0;  // 0: never
};

int record(void* data, long long done, long long total) {
    auto* progress = static_cast<Progress*>(data);
    progress->done.push_back(done);
    progress->totals.push_back(total);
    return progress->done.size() == progress->cancelAfter ? 1 : 0;
}

TEST(Md5, FilesAreHashedInBlocksWithProgressThatCanCancel) {
    testsupport::ScratchDir scratch;
    std::string big(3 * 1048576 + 12345, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 >> 3);
    testsupport::writeFile("big.bin", big);
    testsupport::writeFile("small.bin", pattern());
    unsigned char digest[16] = {};

    Progress progress;
    ASSERT_EQ(md5File("big.bin", digest, record, &progress), 0);
    EXPECT_EQ(hexOf(digest), digestOf(big));
    ASSERT_GE(progress.done.size(), 4u);
    EXPECT_EQ(progress.done.front(), 0);
    EXPECT_EQ(progress.done.back(), static_cast<long long>(big.size()));
    EXPECT_EQ(progress.totals,
              std::vector<long long>(progress.done.size(), static_cast<long long>(big.size())));
    EXPECT_TRUE(std::is_sorted(progress.done.begin(), progress.done.end()));

    ASSERT_EQ(md5File("small.bin", digest, nullptr, nullptr), 0);
    EXPECT_EQ(hexOf(digest), patternDigest);

    // Cancelled: no digest.
    unsigned char untouched[16] = {};
    Progress cancel;
    cancel.cancelAfter = 1;
    EXPECT_EQ(md5File("big.bin", untouched, record, &cancel), 1);
    EXPECT_EQ(cancel.done.size(), 1u);
    // A cancel mid-file stops the reading there.
    Progress midway;
    midway.cancelAfter = 2;
    EXPECT_EQ(md5File("big.bin", untouched, record, &midway), 1);
    ASSERT_EQ(midway.done.size(), 2u);
    EXPECT_LT(midway.done[1], static_cast<long long>(big.size()));
    EXPECT_EQ(hexOf(untouched), std::string(32, '0'));
}

// Only regular files and block devices are read; a read error ends the data.
TEST(Md5, FileKindsAndReadErrors) {
    testsupport::ScratchDir scratch;
    mkdir("folder", 0755);
    ASSERT_EQ(mkfifo("fifo", 0644), 0);
    const char empty[] = "d41d8cd98f00b204e9800998ecf8427e";
    struct Case {
        const char* path;
        int result;
        const char* digest;
    } cases[] = {
        {"folder", MD5_UNREADABLE, ""},
        {"fifo", MD5_UNREADABLE, ""},  // no writer: opening it must not wait for one
        {"missing.bin", MD5_MISSING, ""},
        {"fifo/under.bin", MD5_MISSING, ""},
        {nullptr, MD5_UNREADABLE, ""},
        {"/proc/self/mem", 0, empty},  // a regular file whose first read fails
    };
    for (const Case& c : cases) {
        unsigned char digest[16] = {};
        auto hashing = std::async(std::launch::async,
                                  [&] { return md5File(c.path, digest, nullptr, nullptr); });
        if (hashing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << c.path << " blocks";
            // Give the blocked open its writer, so that the test can end.
            close(open(c.path, O_WRONLY | O_NONBLOCK));
        }
        const char* shown = c.path ? c.path : "null";
        EXPECT_EQ(hashing.get(), c.result) << shown;
        EXPECT_EQ(hexOf(digest), c.result == 0 ? c.digest : std::string(32, '0')) << shown;
    }

    // A drive with no medium: a block device of size 0 gives no digest.
    std::string drive = testsupport::emptyBlockDevice();
    if (drive.empty()) GTEST_SKIP() << "no empty block device to read";
    Progress progress;
    unsigned char digest[16];
    EXPECT_EQ(md5File(drive.c_str(), digest, record, &progress), MD5_NO_DISC) << drive;
}

TEST(Md5, DataFileOfAnImage) {
    struct Case {
        const char* image;
        const char* data;
    } cases[] = {
        {"/psx/Game.cue", "/psx/Game.bin"},
        {"GAME.CUE", "GAME.bin"},
        {"a.Ccd", "a.img"},
        {"a.toc", "a.bin"},
        {"a.MDS", "a.mdf"},
        {".cue", ".bin"},
        {"a.mds.cue", "a.mds.bin"},
        {"a.exe", "a.exe"},
        {"a.bin", "a.bin"},
        {"/dev/cdrom", "/dev/cdrom"},
        {"a.cue.bak", "a.cue.bak"},
        {"/x.cue/disc", "/x.cue/disc"},
        {"cue", "cue"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char path[64];
        snprintf(path, sizeof path, "%s", c.image);
        discDataFile(path);
        EXPECT_STREQ(path, c.data) << c.image;
    }
}

}  // namespace
