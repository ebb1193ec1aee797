// Runs the benchmark sections named on the command line (all of them when
// none is named) and ends with one verdict line per target.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

#include <algorithm>
#include <vector>

#include "bench/bench.h"

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
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
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
    auto& all = bench::sections();
    std::stable_sort(all.begin(), all.end(),
                     [](const bench::Section& a, const bench::Section& b) { return a.order < b.order; });
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
