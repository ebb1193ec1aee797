// The kept list's reader on any bytes. What it accepts of the current version
// has one written form: writing it gives the same bytes, and the file reads
// back the same. Any bytes also make a list (NUL-separated names, a leading \1
// starts a folder, any other name is an image in the folder before it) that
// must come back whole through the file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disc/keptlist.h"
#include "fuzzsupport.h"
#include "helper/scan/keptlist_store.h"

namespace {

// Writes list to the kept list's file and checks that it reads back exactly.
void roundTrip(const std::vector<KeptFolder>& list) {
    if (keptlistWrite(list) != 0) fuzzsupport::fail("write failed");
    std::vector<KeptFolder> back;
    if (!keptlistRead(&back)) fuzzsupport::fail("the written file was not read");
    if (back.size() != list.size()) fuzzsupport::fail("the number of folders changed");
    for (size_t i = 0; i < list.size(); i++)
        if (back[i].folder != list[i].folder || back[i].images != list[i].images)
            fuzzsupport::fail("a folder changed on the way through the file");
    if (!keptlistSame(list, back)) fuzzsupport::fail("equal lists are not the same");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enterScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::vector<KeptFolder> parsed;
    if (keptlistParse(bytes, size, &parsed)) {
        std::string written;
        // A file of the previous version is read as it is and written as the current one.
        static const std::string current = "discWren image list 2\n";
        bool ofCurrent = std::string(bytes, size).compare(0, current.size(), current) == 0;
        if (!keptlistSerialise(parsed, &written) ||
            (ofCurrent && written != std::string(bytes, size)))
            fuzzsupport::fail("an accepted file has another written form");
        roundTrip(parsed);
    } else if (!parsed.empty()) {
        fuzzsupport::fail("a refused file left entries behind");
    }

    std::vector<KeptFolder> made;
    for (size_t start = 0; start < size;) {
        const char* nul = static_cast<const char*>(memchr(bytes + start, '\0', size - start));
        size_t end = nul ? size_t(nul - bytes) : size;
        std::string name(bytes + start, end - start);
        if (!name.empty() && name[0] == '\1') {
            made.push_back(KeptFolder{name.substr(1), {}});
        } else if (!name.empty()) {
            if (made.empty()) made.push_back(KeptFolder{"", {}});
            made.back().images.push_back(made.back().folder + name);
        }
        start = end + 1;
    }
    roundTrip(made);
    return 0;
}
