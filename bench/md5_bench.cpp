// Hashes a 256 MB file with the dialog's MD5 and with md5sum(1).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench.h"
#include "util/md5.h"

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

    const int runs = 9;
    std::vector<double> ours, reference, oursCpu, referenceCpu;
    unsigned char digest[16];
    for (int run = 0; run < runs; ++run) {
        double cpu;
        reference.push_back(bench::timeProgram({"md5sum", path}, &cpu));
        referenceCpu.push_back(cpu);
        double cpuStart = bench::cpuMilliseconds();
        auto start = bench::Clock::now();
        md5File(path, digest, nullptr, nullptr);
        ours.push_back(bench::millisecondsSince(start));
        oursCpu.push_back(bench::cpuMilliseconds() - cpuStart);
    }
    double oursMs = bench::median(ours), referenceMs = bench::median(reference);
    double oursCpuMs = bench::median(oursCpu), referenceCpuMs = bench::median(referenceCpu);
    double oursRate = 256.0 / (oursMs / 1000.0), referenceRate = 256.0 / (referenceMs / 1000.0);
    char hex[33];
    md5Hex(digest, hex);
    printf("md5 of 256 MB, median of %d    wall ms   MB/s   CPU ms\n", runs);
    printf("  discWren md5File        %9.1f %6.0f %8.1f\n", oursMs, oursRate, oursCpuMs);
    printf("  md5sum                  %9.1f %6.0f %8.1f\n", referenceMs, referenceRate,
           referenceCpuMs);
    printf("  digest %s; CPU-time ratio %.3fx\n", hex, referenceCpuMs / oursCpuMs);
    bench::target("md5 throughput, 256 MB file", bench::format("%.0f MB/s", oursRate),
                  bench::format("md5sum %.0f MB/s", referenceRate),
                  bench::format("%.3fx", oursRate / referenceRate), ">= 1.0x",
                  oursRate >= referenceRate);
    unlink(path);
}
