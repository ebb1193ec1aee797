// The settings-file reader on any bytes. Whatever it reads must come back
// unchanged through the writer: read, write, read again, compare the record
// and the three lists.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"
#include "fuzzsupport.h"
#include "settings/settingsfile.h"

namespace {

struct Snapshot {
    Settings record;
    std::vector<std::string> devices, directories, recent;
};

// Clears the bytes after a text's terminator, which carry no meaning.
void clearTail(char* text, size_t size) {
    size_t length = strnlen(text, size);
    memset(text + length, 0, size - length);
}

Snapshot take(const Settings& s) {
    Snapshot snap;
    snap.record = s;
    Settings& r = snap.record;
    clearTail(r.current, sizeof r.current);
    clearTail(r.filter, sizeof r.filter);
    clearTail(r.language, sizeof r.language);
    for (auto& key : r.hotkeys)
        for (auto& slot : key) clearTail(slot, sizeof slot);
    for (int i = 0; i < cdsearchDeviceQuantity(); i++)
        snap.devices.push_back(std::string(cdsearchDeviceGet(i)->path) +
                               cdsearchDeviceGet(i)->name);
    for (int i = 0; i < cdsearchDirectoryQuantity(); i++)
        snap.directories.push_back(cdsearchDirectoryGet(i));
    for (int i = 0; i < recentlyQuantity(); i++) snap.recent.push_back(recentlyGet(i));
    return snap;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enterScratchDir();
    linkedListSystemInit();
    cdsearchInit();
    recentlyInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fopen(SETTINGS_FILE_NAME, "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);

    Settings s;
    memset(&s, 0, sizeof s);
    if (settingsRead(&s) != 0) fuzzsupport::fail("an existing file was not read");
    Snapshot first = take(s);

    if (settingsWrite(&s) != 0 || settingsWriteError != 0) fuzzsupport::fail("write failed");
    Settings back;
    memset(&back, 0, sizeof back);
    if (settingsRead(&back) != 0) fuzzsupport::fail("the written file was not read");
    Snapshot second = take(back);

    if (memcmp(&first.record, &second.record, sizeof first.record) != 0)
        fuzzsupport::fail("the record changed on the way through the file");
    if (first.devices != second.devices) fuzzsupport::fail("the device list changed");
    if (first.directories != second.directories) fuzzsupport::fail("the directory list changed");
    if (first.recent != second.recent) fuzzsupport::fail("the recently opened list changed");
    return 0;
}
