// The benchmark program: sections that register themselves, shared timing
// helpers, and the verdict lines printed at the end of the run.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// A section runs once, in the order of its order number, when its name (or
// "all") is named on the command line.
struct Section {
    const char* name;
    int order;
    void (*run)();
};
int registerSection(const Section& section);

// Defines a section: BENCH_SECTION(catalogue, 20) { ... }.
#define BENCH_SECTION(NAME, ORDER)                                   \
    static void benchSection_##NAME();                               \
    static const int benchSectionRegistered_##NAME =                 \
        bench::registerSection({#NAME, ORDER, benchSection_##NAME}); \
    static void benchSection_##NAME()

// Mean microseconds of runs calls of body.
double microsecondsPerRun(int runs, const std::function<void()>& body);
// Median microseconds of runs calls of body, each timed on its own.
double medianMicroseconds(int runs, const std::function<void()>& body);
// The middle value (the upper one of an even count); 0 when there is none.
double median(std::vector<double> values);
// Wall-clock milliseconds since start.
double millisecondsSince(Clock::time_point start);
// CPU time of this process so far, in milliseconds.
double cpuMilliseconds();
// Runs a program (args[0], found on PATH) with its output discarded; the
// wall-clock milliseconds it took, and in *cpu the CPU milliseconds it used.
double timeProgram(std::vector<std::string> args, double* cpu);
// Peak resident memory of the process so far.
long peakKilobytes();

// Records one target's verdict line, printed after every section has run:
// "<what>: <ours> vs <reference> = <result> (target <target>): met" or "NOT met".
void target(const std::string& what, const std::string& ours, const std::string& reference,
            const std::string& result, const std::string& targetText, bool met);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace bench
