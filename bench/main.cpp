// Runs the benchmark sections named on the command line (all of them when
// none is named) and ends with one verdict line per target.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench.h"
#include "helper/helper_main.h"

namespace bench {

namespace {

std::vector<Section>& sections() {
    static std::vector<Section> all;
    return all;
}

std::vector<std::string>& verdicts() {
    static std::vector<std::string> all;
    return all;
}

}  // namespace

int registerSection(const Section& section) {
    sections().push_back(section);
    return 0;
}

double microsecondsPerRun(int runs, const std::function<void()>& body) {
    auto start = Clock::now();
    for (int i = 0; i < runs; i++) body();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
}

double medianMicroseconds(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; i++) {
        auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return median(times);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double cpuMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double timeProgram(std::vector<std::string> args, double* cpu) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid;
    int status = 0;
    struct rusage usage = {};
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        wait4(pid, &status, 0, &usage);
    double elapsed = millisecondsSince(start);
    *cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    posix_spawn_file_actions_destroy(&actions);
    return elapsed;
}

long peakKilobytes() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void target(const std::string& what, const std::string& ours, const std::string& reference,
            const std::string& result, const std::string& targetText, bool met) {
    verdicts().push_back(what + ": " + ours + " vs " + reference + " = " + result + " (target " +
                         targetText + "): " + (met ? "met" : "NOT met"));
}

std::string format(const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

}  // namespace bench

int main(int argc, char** argv) {
    helperMainIfStarted(argc, argv);  // its helpers are this program too
    auto& all = bench::sections();
    std::stable_sort(all.begin(), all.end(), [](const bench::Section& a, const bench::Section& b) {
        return a.order < b.order;
    });
    for (const auto& section : all) {
        bool chosen = argc < 2;
        for (int i = 1; i < argc; i++)
            if (strcmp(argv[i], section.name) == 0 || strcmp(argv[i], "all") == 0) chosen = true;
        if (!chosen) continue;
        printf("== %s\n", section.name);
        fflush(stdout);
        section.run();
        printf("\n");
    }
    for (const auto& line : bench::verdicts()) printf("%s\n", line.c_str());
    return 0;
}
