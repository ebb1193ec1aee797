#include "catalogue/cdsearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "containers/linkedlist.h"
#include "util/path.h"

// The catalogue's lists. deviceList and directoryList are the user's and are
// saved in the settings file; the other three are rebuilt from them.
static int noCdList = -1;       // CD: the no-disc entry
static int deviceList = -1;     // CD: one per CD-ROM device
static int directoryList = -1;  // plain heap strings, released with free
static int imageList = -1;      // CD: one per image found by the scan
static int itemList = -1;       // CD: the filtered copies the CD list shows
static char filterText[512];

static const char noCdName[] = "No CD (bios shell)";
static const char* const imageExtensions[] = {".cue", ".ccd", ".toc", ".mds", ".exe"};
constexpr size_t PATH_LIMIT = 4095;  // characters of a scanned path

void CDDestructor(CD* cd) {
    if (!cd) return;
    free(cd->path);
    free(cd->name);
    free(cd);
}

// The lists call their destructor with an untyped payload.
static void releaseCD(void* payload) { CDDestructor(static_cast<CD*>(payload)); }

// A new record holding fullPath split at its last '/'. Heap copies of the
// whole text are cut down in place, so a path of any length fits.
static CD* cdFromFullPath(const char* fullPath) {
    CD* cd = static_cast<CD*>(malloc(sizeof(CD)));
    if (!cd) return nullptr;
    cd->name = strdup(fullPath);
    cd->path = strdup(fullPath);
    if (!cd->name || !cd->path) {
        CDDestructor(cd);
        return nullptr;
    }
    reduceToName(cd->name);
    reduceToPath(cd->path);
    return cd;
}

// Puts deviceList's cursor on the first entry equal to cd; false when none is.
static bool findDevice(const CD* cd) {
    int quantity = linkedListSize(deviceList);
    linkedListToStart(deviceList);
    for (int i = 0; i < quantity; ++i, linkedListToNext(deviceList)) {
        const CD* entry = static_cast<const CD*>(linkedListGet(deviceList));
        if (strcmp(entry->path, cd->path) == 0 && strcmp(entry->name, cd->name) == 0) {
            return true;
        }
    }
    return false;
}

// Puts directoryList's cursor on the first string equal to directory.
static bool findDirectory(const char* directory) {
    int quantity = linkedListSize(directoryList);
    linkedListToStart(directoryList);
    for (int i = 0; i < quantity; ++i, linkedListToNext(directoryList)) {
        if (strcmp(static_cast<const char*>(linkedListGet(directoryList)), directory) == 0) {
            return true;
        }
    }
    return false;
}

int cdsearchInit() {
    void* cdDestructor = reinterpret_cast<void*>(&releaseCD);
    noCdList = linkedListRegister(cdDestructor);
    deviceList = linkedListRegister(cdDestructor);
    directoryList = linkedListRegister(nullptr);
    imageList = linkedListRegister(cdDestructor);
    itemList = linkedListRegister(cdDestructor);
    filterText[0] = '\0';
    bool failed =
        noCdList < 0 || deviceList < 0 || directoryList < 0 || imageList < 0 || itemList < 0;
    return failed ? 1 : 0;
}

void cdsearchShutdown() {
    linkedListUnregister(&noCdList);
    linkedListUnregister(&deviceList);
    linkedListUnregister(&directoryList);
    linkedListUnregister(&imageList);
    linkedListUnregister(&itemList);
}

void cdsearchClear() {
    linkedListClear(noCdList);
    linkedListClear(deviceList);
    linkedListClear(directoryList);
    linkedListClear(imageList);
    linkedListClear(itemList);
}

void cdsearchAddDevice(const char* device) {
    if (!device) return;
    CD* cd = cdFromFullPath(device);
    if (!cd) return;
    if (findDevice(cd) || linkedListAppend(deviceList, cd) != 0) CDDestructor(cd);
}

void cdsearchRemoveDevice(const char* device) {
    if (!device) return;
    CD* cd = cdFromFullPath(device);
    if (!cd) return;
    if (findDevice(cd)) linkedListDelete(deviceList);
    CDDestructor(cd);
}

void cdsearchRemoveDevice(int index) {
    linkedListToIndex(deviceList, index);
    linkedListDelete(deviceList);
}

CD* cdsearchDeviceGet(int index) {
    linkedListToIndex(deviceList, index);
    return static_cast<CD*>(linkedListGet(deviceList));
}

int cdsearchDeviceQuantity() { return linkedListSize(deviceList); }

void cdsearchAddDirectory(const char* directory) {
    if (!directory || findDirectory(directory)) return;
    char* copy = strdup(directory);
    if (copy && linkedListAppend(directoryList, copy) != 0) free(copy);
}

void cdsearchRemoveDirectory(const char* directory) {
    if (directory && findDirectory(directory)) linkedListDelete(directoryList);
}

void cdsearchRemoveDirectory(int index) {
    linkedListToIndex(directoryList, index);
    linkedListDelete(directoryList);
}

char* cdsearchDirectoryGet(int index) {
    linkedListToIndex(directoryList, index);
    return static_cast<char*>(linkedListGet(directoryList));
}

int cdsearchDirectoryQuantity() { return linkedListSize(directoryList); }

void cdsearchSetFilter(const char* filter) {
    if (!filter) filter = "";
    snprintf(filterText, sizeof filterText, "%s", filter);
}

// A new record with copies of path and name.
static CD* newCD(const char* path, const char* name) {
    CD* cd = static_cast<CD*>(malloc(sizeof(CD)));
    if (!cd) return nullptr;
    cd->name = strdup(name);
    cd->path = strdup(path);
    if (!cd->name || !cd->path) {
        CDDestructor(cd);
        return nullptr;
    }
    return cd;
}

static void appendCD(int list, CD* cd) {
    if (cd && linkedListAppend(list, cd) != 0) CDDestructor(cd);
}

static bool isImageName(const char* name) {
    for (const char* ext : imageExtensions) {
        if (checkExtension(name, ext)) return true;
    }
    return false;
}

void seekImgDir(const char* dir) {
    DIR* d = opendir(dir);
    if (!d) {
        perror(dir);
        return;
    }
    while (struct dirent* entry = readdir(d)) {
        const char* name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
        std::string full = std::string(dir) + name;
        if (full.size() > PATH_LIMIT) continue;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (full.size() + 1 > PATH_LIMIT) continue;
            seekImgDir((full + "/").c_str());
        } else if (isImageName(full.c_str())) {
            size_t slash = full.rfind('/');
            size_t cut = slash == std::string::npos ? 0 : slash + 1;
            appendCD(imageList, newCD(full.substr(0, cut).c_str(), full.c_str() + cut));
        }
    }
    closedir(d);
}

int compareCD(void* a, void* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(static_cast<CD*>(a)->name);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(static_cast<CD*>(b)->name);
    for (; *x && *y; ++x, ++y) {
        signed char fx = static_cast<signed char>(tolower(static_cast<signed char>(*x)));
        signed char fy = static_cast<signed char>(tolower(static_cast<signed char>(*y)));
        if (fx != fy) return fx > fy ? 1 : 0;
    }
    return 0;
}

// Appends copies of the entries of list whose name contains the filter.
static void takeFiltered(int list) {
    int quantity = linkedListSize(list);
    linkedListToStart(list);
    for (int i = 0; i < quantity; ++i, linkedListToNext(list)) {
        const CD* cd = static_cast<const CD*>(linkedListGet(list));
        if (filterText[0] == '\0' || strcasestr(cd->name, filterText)) {
            appendCD(itemList, newCD(cd->path, cd->name));
        }
    }
}

void cdsearchBuild() {
    linkedListClear(noCdList);
    linkedListClear(imageList);
    linkedListClear(itemList);
    appendCD(noCdList, newCD("", noCdName));
    int directories = linkedListSize(directoryList);
    for (int i = 0; i < directories; ++i) {
        // Copied: the scan must not hold a pointer into a list it could change.
        std::string dir = cdsearchDirectoryGet(i);
        seekImgDir(dir.c_str());
    }
    linkedListSort(deviceList, compareCD);
    linkedListSort(imageList, compareCD);
    takeFiltered(noCdList);
    takeFiltered(deviceList);
    takeFiltered(imageList);
}

CD* cdsearchItemGet(int index) {
    linkedListToIndex(itemList, index);
    return static_cast<CD*>(linkedListGet(itemList));
}

int cdsearchItemQuantity() { return linkedListSize(itemList); }
