// Times catalogue builds on generated libraries of 1,000 to 100,000 files and
// compares them with find(1) looking for the same names in the same tree.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/library.h"
#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "util/path.h"

namespace {

using bench::median;
using bench::millisecondsSince;

// Runs find with the catalogue's name tests on dir, output discarded;
// milliseconds, and the CPU time it used.
double timeFind(const std::string& dir, double* cpu) {
    std::vector<std::string> command = {"find", dir, "("};
    for (int i = 0; i < imageExtensionCount; ++i) {
        if (i > 0) command.push_back("-o");
        command.insert(command.end(), {"-iname", std::string("*") + imageExtensions[i]});
    }
    command.push_back(")");
    return bench::timeProgram(command, cpu);
}

// A fresh catalogue with one image folder.
void startCatalogue(const std::string& dir) {
    cdsearchShutdown();
    cdsearchInit();
    cdsearchAddDirectory(dir.c_str());
    cdsearchSetFilter("");
}

}  // namespace

BENCH_SECTION(catalogue, 20) {
    // Builds keep their image list in the working folder: the scratch one.
    char folder[] = "/tmp/discwren-bench-XXXXXX", previous[4096];
    if (!getcwd(previous, sizeof previous) || !mkdtemp(folder) || chdir(folder) != 0) return;
    linkedListSystemInit();
    cdsearchInit();

    printf(
        "Median wall times; CPU is the CPU-time ratio to find, which load on the machine\n"
        "does not skew. The second build sets the folder watches (once per session).\n");
    printf("%8s %7s | %9s %9s %6s %6s | %10s %9s %6s %6s | %9s\n", "files", "images", "first ms",
           "find ms", "ratio", "CPU", "rebuild ms", "find ms", "ratio", "CPU", "2nd ms");
    const char* filters[] = {"a", "al", "alp", "", "e", "sh", "shadow", "x"};
    for (int files : {1000, 10000, 100000}) {
        std::string dir = std::string(folder) + "/library" + std::to_string(files) + "/";
        bench::makeLibrary(dir, files);
        const int runs = files >= 100000 ? 7 : 15;

        // Each first build starts from an empty catalogue; find runs in turn.
        std::vector<double> first, findFirst, firstCpu, findFirstCpu;
        for (int run = 0; run < runs; ++run) {
            double cpu;
            findFirst.push_back(timeFind(dir, &cpu));
            findFirstCpu.push_back(cpu);
            startCatalogue(dir);
            double cpuStart = bench::cpuMilliseconds();
            auto start = bench::Clock::now();
            cdsearchBuild();
            first.push_back(millisecondsSince(start));
            firstCpu.push_back(bench::cpuMilliseconds() - cpuStart);
        }
        int images = cdsearchItemQuantity() - 1;

        // The second build sets the folder watches; the rebuilds after it are
        // what each keystroke in the filter costs.
        auto start = bench::Clock::now();
        cdsearchBuild();
        double second = millisecondsSince(start);
        std::vector<double> rebuild, findRebuild, rebuildCpu, findRebuildCpu;
        for (int run = 0; run < runs; ++run) {
            double cpu;
            findRebuild.push_back(timeFind(dir, &cpu));
            findRebuildCpu.push_back(cpu);
            cdsearchSetFilter(filters[run % (sizeof filters / sizeof filters[0])]);
            double cpuStart = bench::cpuMilliseconds();
            start = bench::Clock::now();
            cdsearchBuild();
            rebuild.push_back(millisecondsSince(start));
            rebuildCpu.push_back(bench::cpuMilliseconds() - cpuStart);
        }

        double firstMs = median(first), findMs = median(findFirst);
        double rebuildMs = median(rebuild), findRebuildMs = median(findRebuild);
        printf("%8d %7d | %9.2f %9.2f %6.3f %6.3f | %10.2f %9.2f %6.3f %6.3f | %9.2f\n", files,
               images, firstMs, findMs, firstMs / findMs, median(firstCpu) / median(findFirstCpu),
               rebuildMs, findRebuildMs, rebuildMs / findRebuildMs,
               median(rebuildCpu) / median(findRebuildCpu), second);
        bench::target(bench::format("catalogue first build, %d files", files),
                      bench::format("%.2f ms", firstMs), bench::format("find %.2f ms", findMs),
                      bench::format("%.3fx", firstMs / findMs), "<= 0.4x", firstMs <= 0.4 * findMs);
    }
    cdsearchShutdown();
    linkedListSystemShutdown();
    if (chdir(previous) != 0) return;
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
