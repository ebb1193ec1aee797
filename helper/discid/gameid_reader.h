// A PlayStation disc's game ID: the name of the boot file that SYSTEM.CNF, in
// the root folder of the disc's file system, names on its BOOT line, read from
// an image (through its sheet) or a CD-ROM drive.
//
// The readers use libiso9660, which logs through a process-wide handler that
// ends the process on errors; call gameidPrepareReader once in the process
// that runs them, and run one reader at a time.
#pragma once

#include <cstddef>
#include <string>

#include "disc/gameid.h"
#include "helper/discid/discsheet.h"

// The ID from SYSTEM.CNF's text ("SLUS-00330" for "BOOT = cdrom:\SLUS_003.30;1"):
// "" for a BOOT line naming another shape of file, and without a BOOT line.
std::string gameidFromSystemCnf(const char* text, size_t size);

// The data file that holds the file system of the image at sheetPath and
// where its first data track starts: a cue's or toc's first data track, the
// .img beside a .ccd, the .mdf beside a .mds; any other name is itself the
// data file, in 2048-byte sectors. A file the sheet names that is missing
// is matched ignoring letter case in the sheet's folder. False when the sheet
// cannot be read or names no data track, or the data file is missing.
bool gameidTrackOf(const std::string& sheetPath, SheetTrack* track);

// The ID of the image at sheetPath (.cue .toc .ccd .mds, or a plain data
// file); a .exe has none. files (may be null) gets the sizes and times of the
// files read. GAMEID_UNREADABLE when the sheet or its data file cannot be
// opened, or a read fails; GAMEID_NONE when the data holds no file system,
// one whose volume descriptor or root folder lies outside the image or breaks
// its own bounds, or no ID.
GameIdResult gameidReadImage(const std::string& sheetPath, std::string* id, GameIdFiles* files);

// What a CD-ROM drive's CDROM_DRIVE_STATUS answer (a negative value for a
// failed request) means: GAMEID_FOUND when the disc is there to be read,
// GAMEID_NO_DISC without a disc or with the tray open, else GAMEID_UNREADABLE.
GameIdResult gameidDriveStatus(int status);

// The ID of the disc in the drive at device (read-only, never waiting on the
// open). A block device that is not a drive (a loop device), or a regular
// file, is read like an image file; anything else is GAMEID_UNREADABLE.
// GAMEID_NO_DRIVE when the path does not exist; GAMEID_NO_DISC for a drive
// without a medium and a loop device with nothing attached.
GameIdResult gameidReadDevice(const std::string& device, std::string* id);

// Prepares the process that runs the readers: libiso9660's messages are
// dropped and its assertions end the process at once (_exit), and the address
// space is limited to addressSpace bytes (0 leaves it alone), as the library
// sizes its buffers from what the image says. False when the limit fails.
bool gameidPrepareReader(unsigned long long addressSpace = 512ull << 20);
