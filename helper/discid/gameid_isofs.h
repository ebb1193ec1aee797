// The disc's ISO 9660 file system, searched for SYSTEM.CNF two ways:
// libiso9660 where it finds the file system itself (a track at the start of
// its file or device, in 2048-, 2336- or 2352-byte sectors), and a narrow
// reader of a known start and sector size for the rest (a track at an offset,
// 2448-byte sectors with subchannel data). Both first check the primary
// volume descriptor and every record of the root folder, on the blocks the
// library reads, so that a crafted disc leads neither past its buffers.
#pragma once

#include <cstddef>
#include <string>

#include "disc/gameid.h"
#include "helper/discid/discsheet.h"

const int kBlock = 2048;  // the file system's block

// Reads up to size bytes at offset: the number read (short at the end of the
// file), or -1 when a read fails (an I/O error, a medium gone).
long long readAt(int fd, void* buffer, size_t size, long long offset);

// What a search for SYSTEM.CNF came to.
enum class Search {
    FOUND,    // its bytes are read
    MISSING,  // no file system, a file system out of bounds, or no SYSTEM.CNF
    FAILED,   // a read failed: the disc cannot be read
};

// SYSTEM.CNF's bytes (up to 64 KiB) through libiso9660 from a file or a
// device whose file system starts at its beginning, in sectors of 2048, 2336
// or 2352 bytes. MISSING without a file system, for one out of bounds, and
// without the file; FAILED when a read fails.
Search systemCnfByLibrary(const std::string& path, std::string* text);

// Reads the 2048 data bytes of the file system's blocks from a data track in
// an image file, at a known start and sector size. libiso9660's fuzzy open
// finds a track only near the start of its file and guesses the sector size,
// and it knows no sectors with subchannel data after them (2448 bytes), so
// this narrowest reader takes those cases: the primary volume descriptor,
// the root folder's records and SYSTEM.CNF's extent, nothing more.
class TrackReader {
public:
    // fd stays the caller's; sectorSize is 2048, 2336, 2352 or 2448.
    TrackReader(int fd, long long start, int sectorSize)
        : fd_(fd), start_(start), sectorSize_(sectorSize) {}

    // Block lsn's data: FOUND, MISSING past the end of the file, FAILED when
    // the read fails.
    Search block(long long lsn, char* out) const;

    // SYSTEM.CNF's bytes (up to 64 KiB) from the root folder, as
    // systemCnfByLibrary finds them.
    Search systemCnf(std::string* text) const;

private:
    Search readExtent(long long lsn, long long size, std::string* text) const;

    int fd_;
    long long start_;
    int sectorSize_;
};

// The ID on the data track at track.offset of the open file fd (path names
// it), by the library when the track starts the file in sectors it knows, by
// TrackReader otherwise (sectors with subchannel data are found whatever the
// sheet says). GAMEID_UNREADABLE when a read fails or the sector size is none
// of the four, GAMEID_NONE without a sound file system or an ID.
GameIdResult readTrack(int fd, const std::string& path, const SheetTrack& track, std::string* id);
