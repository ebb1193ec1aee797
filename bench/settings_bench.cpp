// Times reading and writing a large settings file and compares the figures
// with the iniparser library's own loader and writer on the same file.
#include <iniparser.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench.h"
#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"
#include "settings/settingsfile.h"

BENCH_SECTION(settings, 10) {
    using bench::microsecondsPerRun;
    const int entries = 500;
    char folder[] = "/tmp/discwren-bench-XXXXXX";
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || !mkdtemp(folder) || chdir(folder) != 0) return;

    linkedListSystemInit();
    cdsearchInit();
    recentlyInit();
    settingsLoadDefault(&settings);
    snprintf(settings.current, sizeof settings.current, "/home/player/psx/Some Game/disc.cue");
    for (int i = 0; i < entries; i++) {
        std::string n = std::to_string(i);
        cdsearchAddDevice(("/dev/disk/by-id/usb-drive-" + n).c_str());
        cdsearchAddDirectory(("/home/player/psx/library/shelf " + n + "/").c_str());
        recentlyAppend(strdup(("/home/player/psx/library/game " + n + ".cue").c_str()));
    }
    settingsWrite(&settings);
    std::string copy = "reference.ini";
    if (system(("cp " SETTINGS_FILE_NAME " " + copy).c_str()) != 0) return;

    const int runs = 200;
    double read = microsecondsPerRun(runs, [] { settingsRead(&settings); });
    double write = microsecondsPerRun(runs, [] { settingsWrite(&settings); });
    double referenceRead = microsecondsPerRun(runs, [&] {
        dictionary* dict = iniparser_load(copy.c_str());
        iniparser_freedict(dict);
    });
    dictionary* dict = iniparser_load(copy.c_str());
    double referenceWrite = microsecondsPerRun(runs, [&] {
        FILE* out = fopen("reference-out.ini", "w");
        iniparser_dump_ini(dict, out);
        fsync(fileno(out));  // the dialog flushes every save to disk, so the reference does too
        fclose(out);
    });
    iniparser_freedict(dict);

    printf("settings file with %d devices, %d image folders, %d recently opened entries\n",
           cdsearchDeviceQuantity(), cdsearchDirectoryQuantity(), recentlyQuantity());
    printf("%-34s %10.1f us\n", "discWren read (settingsRead)", read);
    printf("%-34s %10.1f us\n", "iniparser_load + freedict", referenceRead);
    printf("%-34s %10.1f us\n", "discWren write (settingsWrite)", write);
    printf("%-34s %10.1f us\n", "iniparser_dump_ini + fsync", referenceWrite);
    printf("%-34s %10ld kB\n", "peak resident memory", bench::peakKilobytes());

    cdsearchShutdown();
    recentlyShutdown();
    linkedListSystemShutdown();
    if (chdir(previous) != 0) return;
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
