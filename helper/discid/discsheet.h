// The image sheets that name a disc's data (.cue, cdrdao's .toc), read from
// their text: where the first data track lies. No file is touched here.
#pragma once

#include <cstddef>
#include <string>

// The first data track of a sheet: its file as the sheet writes it, the byte
// where the track's first sector starts in that file, and the size of a sector
// there (2048, 2336, 2352 or 2448; another size is returned as it is, for the
// caller to refuse).
struct SheetTrack {
    std::string file;
    long long offset = 0;
    int sectorSize = 0;
};

// A cue sheet: the FILE of the first data track (MODE1/2048 ... CDI/2352), its
// INDEX 01 in frames times its sector size. False (track untouched) when the
// sheet has no data track with a file and an INDEX 01. Any bytes are safe.
bool sheetCueDataTrack(const char* text, size_t size, SheetTrack* track);

// A cdrdao table of contents: the DATAFILE of the first data track, its
// #offset plus the track's START in sectors, and the size its mode and
// subchannel give. False (track untouched) without one. Any bytes are safe.
bool sheetTocDataTrack(const char* text, size_t size, SheetTrack* track);
