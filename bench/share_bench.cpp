// The 100,000-file library behind the slow FUSE view at 0.5 ms per call, as on
// a network share, and how long find takes to walk it there: the reference
// for the dialog's own scan of a share.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/library.h"
#include "bench/share.h"

namespace bench {

SlowMount mountSlowLibrary(const std::string& library, int delayUs) {
    return SlowMount(library, delayUs);
}

double timeFindImages(const std::string& dir, double* cpu) {
    return timeProgram({"find",  dir,      "!",      "-type", "d",      "(",      "-iname",
                        "*.cue", "-o",     "-iname", "*.ccd", "-o",     "-iname", "*.toc",
                        "-o",    "-iname", "*.mds",  "-o",    "-iname", "*.exe",  ")"},
                       cpu);
}

}  // namespace bench

BENCH_SECTION(share, 25) {
    std::string why;
    if (!bench::SlowMount::available(&why)) {
        printf("skipped: %s\n", why.c_str());
        return;
    }
    char folder[] = "/tmp/discwren-bench-share-XXXXXX";
    if (!mkdtemp(folder)) return;
    const std::string library = std::string(folder) + "/library";
    const int files = 100000, delayUs = 500, runs = 3;
    bench::makeLibrary(library, files);
    {
        bench::SlowMount share = bench::mountSlowLibrary(library, delayUs);
        if (!share.mounted()) {
            printf("skipped: %s\n", share.error().c_str());
        } else {
            std::vector<double> local, slow, slowCpu;
            for (int run = 0; run < runs; ++run) {
                double cpu;
                local.push_back(bench::timeFindImages(library, &cpu));
                slow.push_back(bench::timeFindImages(share.path(), &cpu));
                slowCpu.push_back(cpu);
            }
            printf("%d files, %d us per look-up, status and listing call; median of %d runs\n",
                   files, delayUs, runs);
            printf("find on the local folder: %10.2f ms\n", bench::median(local));
            printf("find on the slow share:   %10.2f ms (CPU %.2f ms)\n", bench::median(slow),
                   bench::median(slowCpu));
        }
    }
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
