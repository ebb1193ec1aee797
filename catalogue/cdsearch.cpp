#include "catalogue/cdsearch.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <system_error>
#include <vector>

#include "catalogue/cdsort.h"
#include "catalogue/gameids.h"
#include "clients/cdscan.h"
#include "containers/linkedlist.h"
#include "disc/keptlist.h"
#include "util/path.h"

// The catalogue's lists. deviceList and directoryList are the user's and are
// saved in the settings file; the other three are rebuilt from them.
static int noCdList = -1;       // CD: the no-disc entry
static int deviceList = -1;     // CD: one per CD-ROM device
static int directoryList = -1;  // plain heap strings, released with free
static int imageList = -1;      // CD: one per image found by the scan
static int itemList = -1;       // CD: the filtered copies the CD list shows
static char filterText[512];

const char noCdName[] = "No CD (bios shell)";

static std::vector<CD*> items;  // itemList's entries, in order

// The folders imageList was read from, and whether it awaits the check that
// they are still the directory list (after cdsearchClear, which keeps it).
static std::vector<std::string> imageFolders;
static bool imagesOnTrial = false;
static void (*scanNotify)(bool changed, void* data) = nullptr;
static void* scanNotifyData = nullptr;
// The kept list being read ahead, with its images as records sorted for a
// directory list of its folders (owned until taken), and the folder it is read from.
struct KeptAhead {
    std::vector<KeptFolder> kept;
    std::vector<CD*> images;
};
static std::future<KeptAhead> keptAhead;
static std::string keptAheadFolder;

static void clearItems() {
    linkedListClear(itemList);
    items.clear();
}

// The lists call their destructor with an untyped payload.
static void releaseCD(void* payload) { CDDestructor(static_cast<CD*>(payload)); }

// A new record holding fullPath split at its last '/', each part copied at
// its own length.
static CD* cdFromFullPath(const char* fullPath) {
    const char* slash = strrchr(fullPath, '/');
    const char* name = slash ? slash + 1 : fullPath;
    return cdNew(std::string(fullPath, size_t(name - fullPath)).c_str(), name);
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

static void receiveScan(std::vector<CD*>& images, const std::vector<std::string>& folders, void*);

int cdsearchInit() {
    void* cdDestructor = reinterpret_cast<void*>(&releaseCD);
    noCdList = linkedListRegister(cdDestructor);
    deviceList = linkedListRegister(cdDestructor);
    directoryList = linkedListRegister(nullptr);
    imageList = linkedListRegister(cdDestructor);
    itemList = linkedListRegister(cdDestructor);
    filterText[0] = '\0';
    cdscanSetReceiver(receiveScan, nullptr);
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
    items.clear();
    imageFolders.clear();
    imagesOnTrial = false;
    cdscanStop();
}

// The folders to read, in list order. A folder written without its final '/'
// is read as if it had one, so that its images' paths are "folder/name"; the
// list keeps the string as written. Every scan, kept-list look-up and check
// of the images' folders takes them from here. "a" beside "a/" is read once.
static std::vector<std::string> directories() {
    std::vector<std::string> list;
    linkedListToStart(directoryList);
    for (int n = linkedListSize(directoryList); n > 0; --n, linkedListToNext(directoryList)) {
        std::string folder = static_cast<const char*>(linkedListGet(directoryList));
        if (!folder.empty() && folder.back() != '/') folder.push_back('/');
        if (std::find(list.begin(), list.end(), folder) == list.end()) list.push_back(folder);
    }
    return list;
}

// The images found stay: when the directory list is read back as it was, the
// list shows them at once rather than nothing until a scan returns.
void cdsearchClear() {
    linkedListClear(noCdList);
    linkedListClear(deviceList);
    linkedListClear(directoryList);
    clearItems();
    imagesOnTrial = true;
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

static void appendCD(int list, CD* cd) {
    if (cd && linkedListAppend(list, cd) != 0) CDDestructor(cd);
}

// Sorts a list of CD records in place by compareCD, as linkedListSort does.
static void sortCatalogueList(int list) {
    std::vector<CD*> cds;
    linkedListToStart(list);
    for (int n = linkedListSize(list); n > 0; --n) {
        cds.push_back(static_cast<CD*>(linkedListRemove(list)));
    }
    sortCatalogue(cds);
    for (CD* cd : cds) appendCD(list, cd);
}

// Appends copies of the entries of list whose name contains the filter, both
// compared by their keys (catalogue/cdsort.h).
static void takeFiltered(int list) {
    const std::string filter = cdsortKey(filterText);
    int quantity = linkedListSize(list);
    linkedListToStart(list);
    for (int i = 0; i < quantity; ++i, linkedListToNext(list)) {
        const CD* cd = static_cast<const CD*>(linkedListGet(list));
        if (!filter.empty() && cdsortKey(cd->name).find(filter) == std::string::npos) continue;
        CD* copy = cdNew(cd->path, cd->name);
        if (copy && linkedListAppend(itemList, copy) == 0) {
            items.push_back(copy);
        } else {
            CDDestructor(copy);
        }
    }
}

void cdsearchRefilter() {
    if (imagesOnTrial) {
        imagesOnTrial = false;
        if (directories() != imageFolders) linkedListClear(imageList);
    }
    linkedListClear(noCdList);
    clearItems();
    appendCD(noCdList, cdNew("", noCdName));
    sortCatalogueList(deviceList);

    takeFiltered(noCdList);
    takeFiltered(deviceList);
    takeFiltered(imageList);
}

// The images kept for folders, in their order, as sorted records.
static std::vector<CD*> keptImages(const std::vector<KeptFolder>& kept,
                                   const std::vector<std::string>& folders) {
    std::vector<CD*> images;
    for (const std::string& folder : folders)
        for (const KeptFolder& entry : kept)
            if (entry.folder == folder) {
                for (const std::string& image : entry.images)
                    if (CD* cd = cdFromFullPath(image.c_str())) images.push_back(cd);
                break;
            }
    sortCatalogue(images);
    return images;
}

// The folders of a kept list, in its order.
static std::vector<std::string> keptFolders(const std::vector<KeptFolder>& kept) {
    std::vector<std::string> folders;
    for (const KeptFolder& entry : kept) folders.push_back(entry.folder);
    return folders;
}

void cdsearchReadKeptSoon(const std::string& folder) {
    try {
        keptAhead = std::async(std::launch::async, [file = folder + (keptlistPath() + 2)] {
            KeptAhead ahead;
            // Its images sorted too, for the usual directory list: the list's folders.
            if (keptlistRead(&ahead.kept, file.c_str()))
                ahead.images = keptImages(ahead.kept, keptFolders(ahead.kept));
            return ahead;
        });
        keptAheadFolder = folder;
    } catch (const std::system_error&) {
        // No thread: the list is read when it is loaded.
    }
}

int cdsearchLoadKept() {
    KeptAhead ahead;
    std::vector<std::string> folders = directories();
    if (keptAhead.valid()) {
        ahead = keptAhead.get();
        // Read in another folder than the current one: read again here.
        char here[4096];
        if (!getcwd(here, sizeof here) || keptAheadFolder != std::string(here) + "/") {
            for (CD* cd : ahead.images) CDDestructor(cd);
            ahead = KeptAhead();
        } else if (ahead.kept.empty()) {
            return 0;
        }
    }
    std::vector<KeptFolder>& kept = ahead.kept;
    if (folders.empty() || (kept.empty() && !keptlistRead(&kept))) {
        for (CD* cd : ahead.images) CDDestructor(cd);
        return 0;
    }
    std::vector<CD*> images;
    if (!ahead.images.empty() && keptFolders(kept) == folders) {
        images.swap(ahead.images);
    } else {
        for (CD* cd : ahead.images) CDDestructor(cd);
        images = keptImages(kept, folders);
    }
    // Their IDs show at once; the complete list checks them.
    for (const std::string& folder : folders)
        for (KeptFolder& entry : kept)
            if (entry.folder == folder) {
                gameidsTakeKept(std::move(entry.ids));
                break;
            }
    linkedListClear(imageList);
    for (CD* cd : images) appendCD(imageList, cd);
    imageFolders = folders;
    imagesOnTrial = false;
    return linkedListSize(imageList);
}

void cdsearchBuild() {
    cdsearchScanRequest(false);
    cdsearchScanWait(-1);
    cdsearchRefilter();
}

// A finished scan: its images replace the list's when they differ.
static void receiveScan(std::vector<CD*>& images, const std::vector<std::string>& folders, void*) {
    sortCatalogue(images);
    bool changed = static_cast<int>(images.size()) != linkedListSize(imageList) ||
                   folders != imageFolders || imagesOnTrial;
    if (!changed) {
        linkedListToStart(imageList);
        for (CD* cd : images) {
            const CD* known = static_cast<const CD*>(linkedListGet(imageList));
            linkedListToNext(imageList);
            if (strcmp(known->path, cd->path) != 0 || strcmp(known->name, cd->name) != 0) {
                changed = true;
                break;
            }
        }
    }
    if (changed) {
        linkedListClear(imageList);
        for (CD*& cd : images) {
            appendCD(imageList, cd);
            cd = nullptr;
        }
        images.clear();
        imageFolders = folders;
        imagesOnTrial = false;
    }
    if (scanNotify) scanNotify(changed, scanNotifyData);
}

void cdsearchScanRequest(bool rereadAll) { cdscanRequest(directories(), rereadAll); }

bool cdsearchScanBusy() { return cdscanBusy(); }

bool cdsearchScanWait(int timeoutMs) { return cdscanWait(timeoutMs); }

int cdsearchScanFound() { return cdscanFound(); }

void cdsearchScanNotify(void (*notify)(bool changed, void* data), void* data) {
    scanNotify = notify;
    scanNotifyData = data;
}

std::vector<std::string> cdsearchImageFullPaths() {
    std::vector<std::string> paths;
    paths.reserve(linkedListSize(imageList));
    linkedListToStart(imageList);
    for (int n = linkedListSize(imageList); n > 0; --n, linkedListToNext(imageList))
        paths.push_back(cdFullPath(static_cast<const CD*>(linkedListGet(imageList))));
    return paths;
}

// itemList changes only here, so a copy of its entries answers index look-ups
// in constant time; the list's cursor would make a walk over all entries quadratic.
CD* cdsearchItemGet(int index) {
    if (items.empty()) return nullptr;
    if (index < 0) index = 0;
    if (static_cast<size_t>(index) >= items.size()) index = static_cast<int>(items.size()) - 1;
    return items[index];
}

int cdsearchItemQuantity() { return static_cast<int>(items.size()); }
