// Hashes a 256 MB file with the dialog's MD5 and with md5sum(1).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "util/md5.h"

extern char** environ;

namespace {

// Runs md5sum on path, output discarded; milliseconds.
double timeMd5sum(const std::string& path) {
    char program[] = "md5sum";
    std::string file = path;
    char* argv[] = {program, &file[0], nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = bench::Clock::now();
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, "md5sum", &actions, nullptr, argv, environ) == 0) {
        waitpid(pid, &status, 0);
    }
    double elapsed = std::chrono::duration<double, std::milli>(bench::Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return elapsed;
}

}  // namespace

BENCH_SECTION(md5, 30) {
    const size_t size = 256u << 20;
    char path[] = "/tmp/discwren-bench-md5-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return;
    // Pseudo-random contents, written once and then read from the page cache.
    std::vector<unsigned char> block(1 << 20);
    uint32_t x = 12345;
    for (size_t written = 0; written < size; written += block.size()) {
        for (unsigned char& byte : block) {
            x = x * 1103515245u + 12345u;
            byte = static_cast<unsigned char>(x >> 24);
        }
        if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) break;
    }
    close(fd);

    const int runs = 5;
    std::vector<double> ours, reference;
    unsigned char digest[16];
    for (int run = 0; run < runs; ++run) {
        reference.push_back(timeMd5sum(path));
        auto start = bench::Clock::now();
        md5File(path, digest, nullptr, nullptr);
        ours.push_back(
            std::chrono::duration<double, std::milli>(bench::Clock::now() - start).count());
    }
    std::sort(ours.begin(), ours.end());
    std::sort(reference.begin(), reference.end());
    double oursMs = ours[runs / 2], referenceMs = reference[runs / 2];
    double oursRate = 256.0 / (oursMs / 1000.0), referenceRate = 256.0 / (referenceMs / 1000.0);
    char hex[33];
    md5Hex(digest, hex);
    printf("md5 of 256 MB: discWren %.1f ms (%.0f MB/s), md5sum %.1f ms (%.0f MB/s), digest %s\n",
           oursMs, oursRate, referenceMs, referenceRate, hex);
    bench::target("md5 throughput, 256 MB file", bench::format("%.0f MB/s", oursRate),
                  bench::format("md5sum %.0f MB/s", referenceRate),
                  bench::format("%.3fx", oursRate / referenceRate), ">= 1.0x",
                  oursRate >= referenceRate);
    unlink(path);
}
