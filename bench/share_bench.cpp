// The 100,000-file library behind the slow FUSE view at 0.5 ms per call, as on
// a network share, and how long find takes to walk it there: the reference
// for the dialog's own scan of a share. The same for a library of uneven
// depth on a share that caches look-ups and on one that caches nothing and
// serves few calls at once.
#include <dirent.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/gui.h"
#include "bench/bench.h"
#include "bench/dialog.h"
#include "bench/library.h"
#include "bench/share.h"
#include "bench/window_start.h"
#include "catalogue/cdsearch.h"
#include "disc/keptlist.h"
#include "helper/scan/keptlist_store.h"
#include "support/program.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

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

namespace {

using bench::endDialog;
using bench::startDialog;

void copyExecutable(const char* from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    out.close();
    chmod(to.c_str(), 0755);
}

// The program installed in folder: its one file.
std::string copyProgram(const std::string& folder) {
    std::string program = folder + "/cfgDiscWren";
    copyExecutable(DISCWREN_EXECUTABLE, program);
    return program;
}

void writeSettings(const std::string& folder, const std::string& imageFolder) {
    std::ofstream ini(folder + "/discWren.ini");
    ini << "[cd selection]\ncdimgdir0 = " << imageFolder << "\n";
}

// The dialog started in this process in install (which holds its settings)
// with nothing kept, to its complete list of rows drawn; milliseconds, or -1.
double firstStartToCompleteList(const std::string& install, int rows) {
    unlink((install + "/discWren.images").c_str());
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(install.c_str()) != 0) return -1;
    auto start = bench::Clock::now();
    startDialog();
    while (cdsearchItemQuantity() < rows) g_main_context_iteration(nullptr, TRUE);
    bench::drawn();
    double ms = bench::millisecondsSince(start);
    endDialog();
    return chdir(previous) == 0 ? ms : -1;
}

double worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// Waits, for at most two minutes, until no process runs a program of folder:
// the helpers of a dialog that was killed end once their read of the share
// returns, and would share the processor with the next start.
void waitForHelpersToEnd(const std::string& folder) {
    const std::string prefix = folder + "/";
    for (int tries = 0; tries < 1200; tries++) {
        bool running = false;
        DIR* proc = opendir("/proc");
        while (struct dirent* entry = proc ? readdir(proc) : nullptr) {
            char exe[4096];
            std::string link = std::string("/proc/") + entry->d_name + "/exe";
            ssize_t length = readlink(link.c_str(), exe, sizeof exe);
            running |= length > 0 && std::string(exe, size_t(length)).rfind(prefix, 0) == 0;
        }
        if (proc) closedir(proc);
        if (!running) return;
        usleep(100000);
    }
}

// Starts of program from exec to a window that answers, each followed by a
// start of reference (in its folder) and each on a machine its predecessor's
// helpers have left, so that both meet the same conditions: their medians,
// and how many of program's answered.
struct Starts {
    double ms = 0, referenceMs = 0;
    size_t answered = 0;
};
Starts startsBeside(const std::string& program, const std::string& cwd,
                    const std::string& reference, const std::string& referenceCwd, int starts) {
    std::vector<double> times, references;
    for (int i = 0; i < starts; i++) {
        waitForHelpersToEnd(cwd);
        double ms = bench::startToAnswerMs({program}, cwd, 60000);
        if (ms >= 0) times.push_back(ms);
        waitForHelpersToEnd(cwd);
        ms = bench::startToAnswerMs({reference}, referenceCwd, 60000);
        if (ms >= 0) references.push_back(ms);
    }
    return {bench::median(times), bench::median(references), times.size()};
}

// The rows of the CD list whose ID cell is filled.
int rowsWithIds() {
    GtkTreeModel* model = uiTreeModel("liststoreMainCDList");
    GtkTreeIter iter;
    int filled = 0;
    for (bool more = model && gtk_tree_model_get_iter_first(model, &iter); more;
         more = gtk_tree_model_iter_next(model, &iter)) {
        gchar* id = nullptr;
        gtk_tree_model_get(model, &iter, CDLIST_GAMEID, &id, -1);
        filled += id && *id;
        g_free(id);
    }
    return filled;
}

}  // namespace

// The dialog with its image folder on the share: its start from exec against
// the same dialog with no image folder, then, in this process, keystrokes
// while the share is read and after, and the time to the complete list.
static void dialogOnShare(const std::string& scratch, const std::string& share, double findMs) {
    int argc = 0;
    char** argv = nullptr;
    if (!getenv("DISPLAY") || !gtk_init_check(&argc, &argv)) {
        printf("dialog on the share: skipped, no X display\n");
        return;
    }
    const std::string onShare = scratch + "/on-share", plain = scratch + "/plain";
    mkdir(onShare.c_str(), 0755);
    mkdir(plain.c_str(), 0755);
    writeSettings(onShare, share + "/");
    std::string programOnShare = copyProgram(onShare), programPlain = copyProgram(plain);
    const int starts = 7;
    std::vector<double> shareStarts, plainStarts;
    const std::string kept = onShare + "/discWren.images";
    bench::startWindow({programPlain}, plain);  // warm caches
    for (int i = 0; i < starts; i++) {
        unlink(kept.c_str());  // a first start: nothing kept yet
        waitForHelpersToEnd(onShare);
        double a = bench::startToAnswerMs({programOnShare}, onShare, 60000);
        double b = bench::startToAnswerMs({programPlain}, plain, 60000);
        if (a >= 0) shareStarts.push_back(a);
        if (b >= 0) plainStarts.push_back(b);
    }
    double startShare = bench::median(shareStarts), startPlain = bench::median(plainStarts);
    printf(
        "exec to window mapped and answering, median of %d: %.1f ms on the share, %.1f ms "
        "with no image folder (%zu and %zu answered)\n",
        starts, startShare, startPlain, shareStarts.size(), plainStarts.size());
    double ratio = startPlain > 0 ? startShare / startPlain : 0;
    bench::target("start to a window that answers, image folder on a 0.5 ms share",
                  bench::format("%.1f ms", startShare),
                  bench::format("no image folder %.1f ms", startPlain),
                  bench::format("%.2fx", ratio), "<= 3x",
                  shareStarts.size() == starts && ratio > 0 && ratio <= 3.0);

    // In this process: the window first, keys while the share is read, then
    // the complete list, then keys again.
    unlink(kept.c_str());
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(onShare.c_str()) != 0) return;
    auto start = bench::Clock::now();
    startDialog();
    double windowMs = bench::millisecondsSince(start);
    std::vector<double> during, after;
    bench::typeFilterKeys(during);
    bool incompleteWhileTyping = cdsearchScanBusy();
    const int expected = 1 + 10000;  // no disc and every image, with an empty filter
    while (cdsearchItemQuantity() < expected) g_main_context_iteration(nullptr, TRUE);
    bench::drawn();
    double completeMs = bench::millisecondsSince(start);
    bench::typeFilterKeys(after);
    std::vector<double> all = during;
    all.insert(all.end(), after.begin(), after.end());
    printf("in process: window drawn %.1f ms after start, list complete after %.1f ms\n", windowMs,
           completeMs);
    printf("keys while the share is read (%s): median %.1f ms, worst %.1f ms, first %.1f ms\n",
           incompleteWhileTyping ? "list still incomplete after them" : "scan already done",
           bench::median(during), worst(during), during.empty() ? 0 : during.front());
    printf("keys once the list is complete: median %.1f ms, worst %.1f ms\n", bench::median(after),
           worst(after));
    double median = bench::median(all), slowest = worst(all);
    bench::target("filter keystrokes, image folder on a 0.5 ms share",
                  bench::format("median %.1f ms, worst %.1f ms", median, slowest),
                  "30 ms and 100 ms", bench::format("%.1f / %.1f ms", median, slowest),
                  "median < 30 ms, worst < 100 ms", median < 30 && slowest < 100);
    double listRatio = findMs > 0 ? completeMs / findMs : 0;
    bench::target("first start to the complete list on a 0.5 ms share, nothing kept",
                  bench::format("%.0f ms", completeMs), bench::format("find %.0f ms", findMs),
                  bench::format("%.2fx", listRatio), "<= 0.09x",
                  listRatio > 0 && listRatio <= 0.09);

    // Ends at once although a rescan of the share may be running.
    endDialog();

    // The kept list the complete read left: its size and the time to write it.
    struct stat st;
    std::vector<KeptFolder> folders;
    if (stat(kept.c_str(), &st) == 0 && keptlistRead(&folders)) {
        auto write = bench::Clock::now();
        keptlistWrite(folders, "discWren.images.bench");
        double writeMs = bench::millisecondsSince(write);
        unlink("discWren.images.bench");
        printf("kept list: %lld bytes, %zu images, written in %.1f ms\n",
               static_cast<long long>(st.st_size), folders.empty() ? 0 : folders[0].images.size(),
               writeMs);
    } else {
        printf("kept list: none written\n");
    }

    // A second start, with that list: in this process, when the background
    // check ends; from exec, the window drawn with every image row in it.
    start = bench::Clock::now();
    startDialog();
    double keptDrawnMs = bench::millisecondsSince(start);
    int shownAtOnce = cdsearchItemQuantity();
    while (cdsearchScanBusy()) g_main_context_iteration(nullptr, TRUE);
    double checkMs = bench::millisecondsSince(start);
    printf("second start in process: %d of %d rows drawn after %.1f ms, check done after %.0f ms\n",
           shownAtOnce, expected, keptDrawnMs, checkMs);
    endDialog();
    Starts keptOnly = startsBeside(programOnShare, onShare, programPlain, plain, starts);
    double keptRatio = keptOnly.referenceMs > 0 ? keptOnly.ms / keptOnly.referenceMs : 0;
    bench::target("second start to the complete list drawn, kept list, 0.5 ms share",
                  bench::format("%.1f ms", keptOnly.ms),
                  bench::format("no image folder %.1f ms", keptOnly.referenceMs),
                  bench::format("%.2fx", keptRatio), "<= 3x",
                  shownAtOnce == expected && keptRatio > 0 && keptRatio <= 3.0);

    // The same list with an ID kept for every image, as a library of real
    // discs has them: the IDs are drawn with the names, in this process and
    // from exec. The stamps matter only once the folders are read.
    for (KeptFolder& folder : folders)
        for (size_t i = 0; i < folder.images.size(); i++)
            folder.ids[folder.images[i]] = {bench::format("SLUS-%05zu", i % 100000), {}};
    if (folders.empty() || keptlistWrite(folders, kept.c_str()) != 0) return;
    start = bench::Clock::now();
    startDialog();
    keptDrawnMs = bench::millisecondsSince(start);
    int idsAtOnce = rowsWithIds();
    // Its scan ends before the starts from exec, as the first second start's did.
    while (cdsearchScanBusy()) g_main_context_iteration(nullptr, TRUE);
    endDialog();
    // The IDs it read meanwhile (none, for these empty images) give way to the
    // 10,000 again.
    if (keptlistWrite(folders, kept.c_str()) != 0 || chdir(previous) != 0) return;
    Starts ids = startsBeside(programOnShare, onShare, programPlain, plain, starts);
    double idsRatio = ids.referenceMs > 0 ? ids.ms / ids.referenceMs : 0;
    printf("second start with kept IDs in process: %d of %d IDs drawn after %.1f ms\n", idsAtOnce,
           expected - 1, keptDrawnMs);
    bench::target("second start to the complete list drawn with 10,000 kept IDs, 0.5 ms share",
                  bench::format("%.1f ms", ids.ms),
                  bench::format("no image folder %.1f ms", ids.referenceMs),
                  bench::format("%.2fx", idsRatio), "<= 2x, IDs drawn with the names",
                  idsAtOnce == expected - 1 && ids.answered == size_t(starts) && idsRatio > 0 &&
                      idsRatio <= 2.0);
}

// The real dialog with its image folder on a share whose listing hangs: the
// time from the click on OK or CANCEL to the end of its process, taken here.
static void exitWhileHeld(const std::string& scratch) {
    if (!getenv("DISPLAY")) {
        printf("exit while a listing hangs: skipped, no X display\n");
        return;
    }
    const std::string games = scratch + "/held-games", install = scratch + "/held-install";
    mkdir(games.c_str(), 0755);
    mkdir(install.c_str(), 0755);
    std::ofstream(games + "/Alpha.cue").close();
    bench::SlowMount share(games, 0, true);
    if (!share.mounted()) {
        printf("exit while a listing hangs: skipped, %s\n", share.error().c_str());
        return;
    }
    const std::string program = copyProgram(install);
    const int runs = 5;
    for (const char* way : {"OK", "CANCEL"}) {
        std::vector<double> times;
        int failed = 0;
        for (int i = 0; i < runs; i++) {
            writeSettings(install, share.path() + "/");
            apptest::Program dialog;
            if (!dialog.start(program, install, "/dev/null") || !share.waitHeld()) {
                failed++;
                continue;
            }
            bench::Clock::time_point clicked;
            if (std::string(way) == "OK") {
                dialog.clickOk();
            } else {
                dialog.clickCancel();
            }
            clicked = bench::Clock::now();
            if (dialog.exitStatus() == 0)
                times.push_back(bench::millisecondsSince(clicked));
            else
                failed++;
        }
        printf(
            "%s to the end of the process, listing held: median %.1f ms, worst %.1f ms, "
            "%d of %d failed\n",
            way, bench::median(times), worst(times), failed, runs);
        bench::target(std::string(way) + " to the process's end while a listing hangs",
                      bench::format("worst of %d %.1f ms", runs, worst(times)), "1 s",
                      bench::format("%.1f ms", worst(times)), "< 1000 ms",
                      failed == 0 && worst(times) < 1000);
    }
    share.release();
}

// The uneven library behind a 0.5 ms share that answers as options say: find
// on it, then the dialog's first start to the complete list.
static void unevenOnShare(const std::string& scratch, const std::string& library, int images,
                          const std::string& what, const testsupport::SlowFsOptions& options) {
    int argc = 0;
    char** argv = nullptr;
    if (!getenv("DISPLAY") || !gtk_init_check(&argc, &argv)) {
        printf("uneven library, %s: skipped, no X display\n", what.c_str());
        return;
    }
    bench::SlowMount share(library, 500, false, false, options);
    if (!share.mounted()) {
        printf("uneven library, %s: skipped, %s\n", what.c_str(), share.error().c_str());
        return;
    }
    const std::string install = scratch + "/uneven-" + std::to_string(options.maxCalls);
    mkdir(install.c_str(), 0755);
    writeSettings(install, share.path() + "/");
    double cpu;
    double findMs = bench::timeFindImages(share.path(), &cpu);
    double ms = firstStartToCompleteList(install, 1 + images);
    printf(
        "uneven library, %s: find %.0f ms (CPU %.0f ms), first start to the complete list %.0f "
        "ms\n",
        what.c_str(), findMs, cpu, ms);
    double ratio = findMs > 0 && ms > 0 ? ms / findMs : 0;
    bench::target("first start to the complete list, uneven library, " + what,
                  bench::format("%.0f ms", ms), bench::format("find %.0f ms", findMs),
                  bench::format("%.2fx", ratio), "<= 0.15x, moonshot 0.08x",
                  ratio > 0 && ratio <= 0.15);
}

BENCH_SECTION(share, 25) {
    std::string why;
    if (!bench::SlowMount::available(&why)) {
        printf("skipped: %s\n", why.c_str());
        return;
    }
    char folder[] = "/tmp/discwren-bench-share-XXXXXX";
    if (!mkdtemp(folder)) return;
    const std::string library = std::string(folder) + "/library";
    const int files = 100000, delayUs = 500, runs = 1;
    exitWhileHeld(folder);
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
            dialogOnShare(folder, share.path(), bench::median(slow));
        }
    }
    // Category/Letter/Title/[Disc k]/[Saves], 3 to 5 levels.
    const std::string uneven = std::string(folder) + "/uneven";
    int images = bench::makeUnevenLibrary(uneven, files);
    testsupport::SlowFsOptions caching, plain;
    caching.cacheSeconds = 1;
    caching.maxCalls = 64;
    plain.maxCalls = 10;
    unevenOnShare(folder, uneven, images, "share caching look-ups 1 s serving 64 at once", caching);
    unevenOnShare(folder, uneven, images, "share caching nothing serving 10 at once", plain);
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
