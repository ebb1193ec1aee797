// Disc IDs of a library of 1,000 real small discs on the slow share (0.5 ms
// per look-up, status and listing call): the dialog's ID helpers against the
// same reader going through the images one after another, the kept IDs of a
// second start, keystrokes while IDs are read, and 8 of the discs hanging for
// good beside the 992 others, and "Get ID" on one of them.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/gui.h"
#include "bench/bench.h"
#include "bench/dialog.h"
#include "bench/share.h"
#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "disc/keptlist.h"
#include "helper/discid/gameid_reader.h"
#include "protocol/frames.h"
#include "settings/settings.h"
#include "support/discs.h"
#include "support/testsupport.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace {

using bench::endDialog;
using bench::startDialog;

constexpr int DISCS = 1000;

// The ID of disc n: "SLUS-0nnnn" from the boot file SLUS_0nn.nn.
std::string bootOf(int n, int variant = 0) {
    char boot[16];
    snprintf(boot, sizeof boot, "SL%cS_%03d.%02d", variant ? 'E' : 'U', n / 100, n % 100);
    return boot;
}

// One disc made by genisoimage, its boot file's name then set per disc in
// place (the same length, so the file system stays sound): DISCS folders of
// a sheet and its data file, 50 to a shelf. The sheets' relative paths.
std::vector<std::string> makeDiscs(const std::string& library, int variant) {
    static std::string iso;
    if (iso.empty())
        iso = testsupport::makeIso({{bootOf(0), std::string(2048, 'x')},
                                    {"SYSTEM.CNF", "BOOT = cdrom:\\" + bootOf(0) + ";1\r\n"}});
    std::vector<std::string> sheets;
    mkdir(library.c_str(), 0755);
    for (int n = 0; n < DISCS; n++) {
        std::string bytes = iso, from = bootOf(0), to = bootOf(n, variant);
        for (size_t at = bytes.find(from); at != std::string::npos;
             at = bytes.find(from, at + to.size()))
            bytes.replace(at, from.size(), to);
        std::string shelf = library + "/shelf" + std::to_string(n / 50);
        mkdir(shelf.c_str(), 0755);
        std::string name = shelf + "/Game " + std::to_string(n);
        // A new variant keeps the files' sizes and times: only their bytes differ.
        struct stat before {};
        bool had = stat((name + ".iso").c_str(), &before) == 0;
        testsupport::writeFile(name + ".iso", bytes);
        if (had) {
            const timespec times[2] = {before.st_atim, before.st_mtim};
            utimensat(AT_FDCWD, (name + ".iso").c_str(), times, 0);
        } else {
            testsupport::writeFile(name + ".cue", "FILE \"Game " + std::to_string(n) +
                                                      ".iso\" BINARY\nTRACK 01 MODE1/2048\n"
                                                      "INDEX 01 00:00:00\n");
        }
        sheets.push_back(name.substr(library.size()) + ".cue");
    }
    return sheets;
}

// The reference: one reader, in a process of its own, going through the images
// one after another. Milliseconds, -1 when an ID was missing.
double readOneByOne(const std::string& share, const std::vector<std::string>& sheets) {
    auto start = bench::Clock::now();
    pid_t child = fork();
    if (child == 0) {
        gameidPrepareReader();
        int found = 0;
        for (const std::string& sheet : sheets) {
            std::string id;
            found += gameidReadImage(share + sheet, &id, nullptr) == GAMEID_FOUND;
        }
        _exit(found == int(sheets.size()) ? 0 : 1);
    }
    int status = 1;
    waitpid(child, &status, 0);
    double ms = bench::millisecondsSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// Turns the main loop until done() holds or a minute passed.
template <typename Done>
bool turnUntil(Done done) {
    guint tick = g_timeout_add(
        5, [](gpointer) -> gboolean { return TRUE; }, nullptr);
    auto start = bench::Clock::now();
    bool met;
    while (!(met = done()) && bench::millisecondsSince(start) < 60000)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    return met;
}

// Images of the list whose ID is known and, with kept, equal to theirs there.
int idsShown(const std::vector<std::string>& images, std::vector<std::string>* ids = nullptr) {
    int shown = 0;
    for (size_t i = 0; i < images.size(); i++) {
        const std::string* id = gameidsFind(images[i]);
        if (!id || id->empty()) continue;
        if (ids && ids->size() == images.size() && (*ids)[i] != *id) continue;
        shown++;
    }
    return shown;
}

int keptIds() {
    std::vector<KeptFolder> kept;
    if (!keptlistRead(&kept)) return 0;
    size_t ids = 0;
    for (const KeptFolder& folder : kept) ids += folder.ids.size();
    return int(ids);
}

void idsOnShare(const std::string& scratch, const std::string& library, const std::string& share,
                const std::vector<std::string>& sheets) {
    const std::string home = scratch + "/dialog";
    mkdir(home.c_str(), 0755);
    std::ofstream(home + "/discWren.ini") << "[cd selection]\ncdimgdir0 = " << share << "/\n";
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(home.c_str()) != 0) return;

    // First start: from the complete list to every ID shown.
    startDialog();
    turnUntil([] { return !cdsearchScanBusy() && cdsearchItemQuantity() == DISCS + 1; });
    auto complete = bench::Clock::now();
    std::vector<std::string> images = cdsearchImageFullPaths();
    turnUntil([&] { return idsShown(images) == DISCS; });
    double oursMs = bench::millisecondsSince(complete);
    int shownFirst = idsShown(images);
    turnUntil([] { return keptIds() == DISCS; });
    std::vector<std::string> firstIds;
    for (const std::string& image : images)
        firstIds.push_back(gameidsFind(image) ? *gameidsFind(image) : "");
    endDialog();

    double oneByOne = readOneByOne(share, sheets);
    double ratio = oneByOne > 0 ? oursMs / oneByOne : 0;
    printf(
        "first start: %d of %d IDs shown %.0f ms after the complete list; one reader one "
        "image after another: %.0f ms\n",
        shownFirst, DISCS, oursMs, oneByOne);
    bench::target("first start, complete list to every ID shown, 1,000 discs on a 0.5 ms share",
                  bench::format("%.0f ms", oursMs), bench::format("one by one %.0f ms", oneByOne),
                  bench::format("%.2fx", ratio), "<= 0.2x",
                  shownFirst == DISCS && ratio > 0 && ratio <= 0.2);

    // Second start: every disc's bytes changed behind the same sizes and
    // times, so an ID that changes shows image data was read.
    makeDiscs(library, 1);
    auto start = bench::Clock::now();
    startDialog();
    double drawnMs = bench::millisecondsSince(start);
    int shownAtOnce = idsShown(images, &firstIds);
    turnUntil([] { return !cdsearchScanBusy() && gameidsPending() == 0; });
    double checkedMs = bench::millisecondsSince(start);
    int unchanged = idsShown(images, &firstIds);
    endDialog();
    printf(
        "second start: %d of %d kept IDs shown with the list drawn after %.0f ms; checked "
        "after %.0f ms, %d IDs as kept (image data read for %d)\n",
        shownAtOnce, DISCS, drawnMs, checkedMs, unchanged, DISCS - unchanged);
    bench::target("second start, kept IDs shown with the kept list, 1,000 discs",
                  bench::format("%d shown, %d read", shownAtOnce, DISCS - unchanged),
                  bench::format("%d", DISCS), bench::format("%.0f ms", drawnMs),
                  "all shown at once, no image data read",
                  shownAtOnce == DISCS && unchanged == DISCS);

    // Keystrokes while a first start's IDs are read.
    unlink("discWren.images");
    startDialog();
    turnUntil([] { return !cdsearchScanBusy() && cdsearchItemQuantity() == DISCS + 1; });
    std::vector<double> keys;
    int rounds = 0;
    while (gameidsPending() > 0 || rounds == 0) {
        bench::typeFilterKeys(keys);
        rounds++;
    }
    endDialog();
    double median = bench::median(keys);
    double worst = keys.empty() ? 0 : *std::max_element(keys.begin(), keys.end());
    printf("keys while IDs are read: %zu keys, median %.1f ms, worst %.1f ms\n", keys.size(),
           median, worst);
    bench::target("filter keystrokes while 1,000 IDs are read on a 0.5 ms share",
                  bench::format("median %.1f ms, worst %.1f ms", median, worst), "30 ms and 100 ms",
                  bench::format("%.1f / %.1f ms", median, worst), "median < 30 ms, worst < 100 ms",
                  median < 30 && worst < 100);
    if (chdir(previous) != 0) return;
}

// From the complete list to every ID of a listed image under folder shown;
// milliseconds, -1 when some never came within a minute.
double idsShownUnder(const std::string& folder, int expected) {
    turnUntil([&] { return !cdsearchScanBusy() && cdsearchItemQuantity() > expected; });
    auto complete = bench::Clock::now();
    std::vector<std::string> under;
    for (const std::string& image : cdsearchImageFullPaths())
        if (image.compare(0, folder.size(), folder) == 0) under.push_back(image);
    bool all = turnUntil([&] { return idsShown(under) == expected; });
    return all && int(under.size()) == expected ? bench::millisecondsSince(complete) : -1;
}

// 8 of the 1,000 discs moved to a view of their own whose reads hang for
// good, listed through links in a local folder at the top of the list: the
// 992 others' IDs against the same 992 with nothing hanging; then "Get ID" on
// a hanging disc.
void idsBesideHangingReads(const std::string& scratch, const std::string& library,
                           const std::string& share) {
    const std::string hung = scratch + "/hung", links = scratch + "/links";
    mkdir(hung.c_str(), 0755);
    mkdir(links.c_str(), 0755);
    for (int n = DISCS - 8; n < DISCS; n++) {
        std::string name = "Game " + std::to_string(n);
        std::string from = library + "/shelf" + std::to_string(n / 50) + "/" + name;
        for (const char* kind : {".cue", ".iso"})
            if (rename((from + kind).c_str(), (hung + "/" + name + kind).c_str()) != 0) return;
    }
    bench::SlowMount held(hung, 500, false, true);
    if (!held.mounted()) {
        printf("skipped: %s\n", held.error().c_str());
        return;
    }
    // The sheets' links sort first, so the hanging discs are the first rows and read first.
    for (int n = DISCS - 8; n < DISCS; n++)
        for (const char* kind : {".cue", ".iso"}) {
            std::string name = "Game " + std::to_string(n) + kind;
            std::string link = (kind[1] == 'c' ? "0 Hanging " : "") + name;
            if (symlink((held.path() + "/" + name).c_str(), (links + "/" + link).c_str()) != 0)
                return;
        }
    const std::string home = scratch + "/dialog";
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(home.c_str()) != 0) return;
    const std::string folders = "[cd selection]\ncdimgdir0 = " + share + "/\n";
    unlink("discWren.images");
    std::ofstream("discWren.ini") << folders;
    startDialog();
    double alone = idsShownUnder(share + "/", DISCS - 8);
    endDialog();

    unlink("discWren.images");
    std::ofstream("discWren.ini") << folders << "cdimgdir1 = " << links << "/\n";
    held.hold();
    startDialog();
    double beside = idsShownUnder(share + "/", DISCS - 8);
    double ratio = alone > 0 && beside > 0 ? beside / alone : 0;
    printf(
        "8 discs hanging: the 992 others' IDs shown %.0f ms after the complete list; %.0f ms "
        "with nothing hanging\n",
        beside, alone);
    bench::target("992 IDs shown beside 8 reads hanging for good, 0.5 ms share",
                  bench::format("%.0f ms", beside), bench::format("nothing hanging %.0f ms", alone),
                  bench::format("%.2fx", ratio), "<= 2x", ratio > 0 && ratio <= 2);

    // Get ID on a hanging disc, until the line says it does not answer.
    snprintf(settings.current, sizeof settings.current, "%s/0 Hanging Game %d.cue", links.c_str(),
             DISCS - 1);
    auto clicked = bench::Clock::now();
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainGetID")));
    const std::string noAnswer = tabMainGameIdWhy(GAMEID_NO_ANSWER);
    bool answered = turnUntil(
        [&] { return gtk_label_get_text(GTK_LABEL(uiWidget("labelMainScan"))) == noAnswer; });
    double answerMs = answered ? bench::millisecondsSince(clicked) : -1;
    endDialog();
    held.release();
    printf("Get ID on a hanging disc: \"%s\" after %.0f ms\n", noAnswer.c_str(), answerMs);
    bench::target("Get ID on a disc whose read hangs, until it says the disc does not answer",
                  bench::format("%.0f ms", answerMs), "give-up limit 25000 ms + 1000 ms",
                  bench::format("%.0f ms", answerMs), "<= 26000 ms",
                  answerMs > 0 && answerMs <= 26000);
    if (chdir(previous) != 0) return;
}

}  // namespace

BENCH_SECTION(gameids, 26) {
    std::string why;
    if (!bench::SlowMount::available(&why)) {
        printf("skipped: %s\n", why.c_str());
        return;
    }
    int argc = 0;
    char** argv = nullptr;
    if (!getenv("DISPLAY") || !gtk_init_check(&argc, &argv)) {
        printf("skipped: no X display\n");
        return;
    }
    char folder[] = "/tmp/discwren-bench-ids-XXXXXX";
    if (!mkdtemp(folder)) return;
    const std::string library = std::string(folder) + "/library";
    std::vector<std::string> sheets = makeDiscs(library, 0);
    {
        bench::SlowMount share = bench::mountSlowLibrary(library, 500);
        if (!share.mounted())
            printf("skipped: %s\n", share.error().c_str());
        else {
            idsOnShare(folder, library, share.path(), sheets);
            idsBesideHangingReads(folder, library, share.path());
        }
    }
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
