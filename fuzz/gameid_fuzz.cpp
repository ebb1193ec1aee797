// The game ID's text readers on any bytes: a BOOT line gives an ID of its one
// shape or none, and a cue or toc sheet gives a track that starts inside a
// file at a sector size the reader knows. The same bytes as sheets on disk go
// through the image reader, which finds no disc behind them.
#include <cstdint>
#include <string>

#include "disc/keptlist.h"
#include "fuzzsupport.h"
#include "helper/discid/gameid_reader.h"

namespace {

void checkTrack(const SheetTrack& track, bool cue) {
    if (track.offset < 0) fuzzsupport::fail("a track before its file's start");
    int size = track.sectorSize;
    bool known = size == 2048 || size == 2336 || size == 2352;
    if (!cue) known = known || size == 2048 + 96 || size == 2336 + 96 || size == 2352 + 96;
    if (!known) fuzzsupport::fail("a sector size no mode has: " + std::to_string(size));
    if (cue && track.offset % size != 0) fuzzsupport::fail("a cue track inside a sector");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enterScratchDir();
    gameidPrepareReader(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::string id = gameidFromSystemCnf(bytes, size);
    if (!keptlistIdSound(id)) fuzzsupport::fail("an ID of another shape: " + id);

    SheetTrack track;
    if (sheetCueDataTrack(bytes, size, &track)) checkTrack(track, true);
    track = SheetTrack();
    if (sheetTocDataTrack(bytes, size, &track)) checkTrack(track, false);

    for (const char* sheet : {"disc.cue", "disc.toc"}) {
        fuzzsupport::writeFile(sheet, bytes, size);
        std::string id;
        GameIdResult result = gameidReadImage(sheet, &id, nullptr);
        // A sheet may name itself or the other one: too small to hold a disc.
        if (result == GAMEID_FOUND || !id.empty())
            fuzzsupport::fail("a few bytes read as a disc with an ID");
    }
    return 0;
}
