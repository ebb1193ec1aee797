// Disc images on any bytes, read as the ID helper reads them: the first byte
// picks a sector layout and its sheet, the rest is the data file, written out
// and read by gameidReadImage, libiso9660 included. Mutations reach the
// volume descriptor, the root folder's records, SYSTEM.CNF's extent and the
// sectors' headers; the seeds are small genisoimage discs in each layout.
// Every read stays within its buffers and answers an ID of its one shape,
// no ID, or "cannot be read".
#include <cstdint>
#include <cstdio>
#include <string>

#include "disc/keptlist.h"
#include "fuzzsupport.h"
#include "helper/discid/gameid_reader.h"

namespace {

struct Layout {
    const char* sheet;  // the sheet's name, or the data file's when there is none
    const char* text;   // the sheet's text (nullptr: the data file is read alone)
};

const Layout kLayouts[] = {
    {"disc.iso", nullptr},  // 2048-byte blocks, through the library
    {"disc.cue", "FILE disc.bin BINARY\nTRACK 01 MODE2/2336\nINDEX 01 00:00:00\n"},
    {"disc.cue", "FILE disc.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"},
    // Raw sectors with subchannel data: the narrow reader.
    {"disc.toc", "TRACK MODE2_RAW RW_RAW\nDATAFILE \"disc.bin\"\n"},
    // Tracks at an offset: the narrow reader.
    {"disc.toc", "TRACK MODE1\nDATAFILE \"disc.bin\" #4096\n"},
    {"disc.toc", "TRACK MODE2_RAW\nDATAFILE \"disc.bin\" #2352\n"},
    {"disc.cue", "FILE disc.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enterScratchDir();
    gameidPrepareReader(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Layout& layout = kLayouts[data[0] % (sizeof kLayouts / sizeof kLayouts[0])];
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    if (layout.text) {
        fuzzsupport::writeFile(layout.sheet, layout.text,
                               std::char_traits<char>::length(layout.text));
        fuzzsupport::writeFile("disc.bin", bytes, size - 1);
    } else {
        fuzzsupport::writeFile(layout.sheet, bytes, size - 1);
    }
    std::string id;
    GameIdResult result = gameidReadImage(layout.sheet, &id, nullptr);
    if (result == GAMEID_FOUND && (id.empty() || !keptlistIdSound(id)))
        fuzzsupport::fail("an ID of another shape: " + id);
    else if (result != GAMEID_FOUND && !id.empty())
        fuzzsupport::fail("an ID without GAMEID_FOUND");
    if (result != GAMEID_FOUND && result != GAMEID_NONE && result != GAMEID_UNREADABLE)
        fuzzsupport::fail("an answer no image gives: " + std::to_string(result));
    return 0;
}
