// Helper start-up: exec to the first answer of a hash helper, and its private
// memory then, for a helper run from the dialog's own file (as the dialog
// starts them) and for the helper-only executable, a separate helper that
// loads nothing of GTK.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "clients/spawn.h"
#include "protocol/messages.h"

namespace {

// Private_Clean + Private_Dirty of a process, in kB.
long privateKilobytes(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string word;
    long total = 0;
    while (rollup >> word)
        if (word == "Private_Clean:" || word == "Private_Dirty:") {
            long kb = 0;
            rollup >> kb;
            total += kb;
        }
    return total;
}

// Starts a hash helper from program and has it hash file: the milliseconds
// from the spawn to its digest, and its private memory then; false on failure.
bool startOnce(const char* program, const std::string& file, double* ms, long* privateKb) {
    helperSetProgram(program);
    int pidfd;
    pid_t pid;
    auto start = bench::Clock::now();
    int fd = helperSpawn(HELPER_HASH, &pidfd, &pid);
    if (fd < 0) return false;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    HelperMessage kind = 0;
    std::string fields;
    bool ok = helperSendAll(fd, encode(HashRequest{file}));
    while (ok && kind != MD5_MSG_DIGEST) ok = helperReceive(fd, &kind, &fields);
    *ms = bench::millisecondsSince(start);
    *privateKb = privateKilobytes(pid);
    close(fd);  // the helper ends at its end of file
    siginfo_t info;
    waitid(P_PIDFD, static_cast<id_t>(pidfd), &info, WEXITED);
    close(pidfd);
    return ok;
}

}  // namespace

BENCH_SECTION(helper, 15) {
    const std::string file = "/tmp/discwren-bench-helper-" + std::to_string(getpid());
    std::ofstream(file) << "abc";
    struct Program {
        const char* what;
        const char* path;
        std::vector<double> ms;
        std::vector<double> kb;
    } own = {"the dialog's own file", DISCWREN_EXECUTABLE, {}, {}},
      separate = {"a separate helper", DISCWREN_HELPER_ONLY, {}, {}};
    const int runs = 21;
    int failed = 0;
    for (int run = 0; run < runs; run++)
        for (Program* program : {&own, &separate}) {
            double ms;
            long kb;
            if (!startOnce(program->path, file, &ms, &kb)) {
                failed++;
                continue;
            }
            program->ms.push_back(ms);
            program->kb.push_back(static_cast<double>(kb));
        }
    helperSetProgram(nullptr);
    unlink(file.c_str());
    printf("hash helper, exec to first answer, median of %d   ms   private kB\n", runs);
    for (const Program* program : {&own, &separate})
        printf("  %-24s %24.2f %12.0f\n", program->what, bench::median(program->ms),
               bench::median(program->kb));
    double ownMs = bench::median(own.ms), separateMs = bench::median(separate.ms);
    double ownKb = bench::median(own.kb), separateKb = bench::median(separate.kb);
    bool measured = failed == 0 && separateMs > 0 && separateKb > 0;
    bench::target("helper start, exec to first answer", bench::format("one file %.2f ms", ownMs),
                  bench::format("separate helper %.2f ms", separateMs),
                  bench::format("%.2fx", measured ? ownMs / separateMs : 0), "<= 3x",
                  measured && ownMs <= 3 * separateMs);
    bench::target("helper private memory", bench::format("one file %.0f kB", ownKb),
                  bench::format("separate helper %.0f kB", separateKb),
                  bench::format("%+.0f kB", ownKb - separateKb), "<= +2048 kB",
                  measured && ownKb - separateKb <= 2048);
}
