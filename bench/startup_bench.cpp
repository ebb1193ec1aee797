// Times the dialog's start, from exec to its window mapped and to its main
// loop answering, against a bare GTK window; both run alternately, the dialog
// from a scratch folder of its own so that it starts with no settings file.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/window_start.h"

namespace {

struct Runs {
    std::vector<double> mapped, answered;
    long peakKilobytes = 0;
    int failed = 0;

    void add(const bench::WindowStart& start) {
        if (start.mappedMs < 0 || start.answeredMs < 0) {
            failed++;
            return;
        }
        mapped.push_back(start.mappedMs);
        answered.push_back(start.answeredMs);
        if (start.peakKilobytes > peakKilobytes) peakKilobytes = start.peakKilobytes;
    }
};

void printRuns(const char* what, const Runs& runs) {
    printf("%-22s %10.1f %12.1f %12ld %7d\n", what, bench::median(runs.mapped),
           bench::median(runs.answered), runs.peakKilobytes, runs.failed);
}

}  // namespace

BENCH_SECTION(startup, 50) {
    if (!getenv("DISPLAY")) {
        printf("startup: skipped, no X display\n");
        return;
    }
    char folder[] = "/tmp/discwren-bench-startup-XXXXXX";
    if (!mkdtemp(folder)) return;
    const std::string program = std::string(folder) + "/cfgDiscWren";
    {
        std::ifstream in(DISCWREN_EXECUTABLE, std::ios::binary);
        std::ofstream out(program, std::ios::binary);
        out << in.rdbuf();
    }
    chmod(program.c_str(), 0755);

    // One start of each first, so that both are timed from a warm file cache.
    const int runs = 21;
    Runs dialog, bare;
    bench::startWindow({program}, folder);
    bench::startWindow({BARE_WINDOW_EXECUTABLE}, folder);
    for (int i = 0; i < runs; i++) {
        dialog.add(bench::startWindow({program}, folder));
        bare.add(bench::startWindow({BARE_WINDOW_EXECUTABLE}, folder));
    }
    printf("%-22s %10s %12s %12s %7s\n", "median of 21 starts", "mapped ms", "answering ms",
           "peak RSS kB", "failed");
    printRuns("cfgDiscWren", dialog);
    printRuns("bare GTK window", bare);

    double ours = bench::median(dialog.mapped), reference = bench::median(bare.mapped);
    double ratio = reference > 0 ? ours / reference : 0;
    bench::target("start-up, exec to MapNotify", bench::format("%.1f ms", ours),
                  bench::format("bare GTK window %.1f ms", reference),
                  bench::format("%.2fx", ratio), "<= 3x",
                  dialog.failed == 0 && bare.failed == 0 && reference > 0 && ratio <= 3.0);
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
