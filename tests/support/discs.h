// Real disc images for the tests: an ISO 9660 file system made by genisoimage
// from a few files, and its 2048-byte blocks wrapped into the sector layouts
// that image files use.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The files of a disc's root folder: name and bytes.
using DiscFiles = std::vector<std::pair<std::string, std::string>>;

// The bytes of an ISO 9660 image (2048-byte blocks) holding files, made by
// genisoimage in a scratch folder of its own, with Rock Ridge records when
// asked; "" when it cannot be made.
std::string makeIso(const DiscFiles& files, bool rockRidge = false);

// How the 2048 bytes of each block lie in an image file's sectors.
enum class Layout {
    Cooked,       // the blocks as they are
    Mode1Raw,     // 2352: sync, header (BCD address from 00:02:00, mode 1), data
    Mode2Raw,     // 2352: sync, header (mode 2), form 1 subheader, data
    Mode2Form1,   // 2336: form 1 subheader, data, zero error codes
    Mode2RawSub,  // 2448: a Mode2Raw sector, then 96 subchannel bytes
};

// The bytes of iso's blocks in layout (error detection and correction bytes
// stay zero).
std::string wrapSectors(const std::string& iso, Layout layout);

// Writes a real disc whose SYSTEM.CNF boots boot ("SLUS_003.30": ID
// SLUS-00330) as folder/name.cue and its raw data file folder/name.bin; the
// disc's blocks, or "" when none could be made.
std::string writeDisc(const std::string& folder, const std::string& name, const std::string& boot);

// Bytes of a sector size for n audio sectors (a pregap or an audio track).
std::string silence(int sectors, int sectorSize = 2352);

// Attaches file read-only to a free loop device: its path, or "" with *why
// when this machine cannot (no root, no losetup, no free device).
std::string attachLoop(const std::string& file, std::string* why);


}  // namespace testsupport
