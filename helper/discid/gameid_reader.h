// A PlayStation disc's game ID: the name of the boot file that SYSTEM.CNF, in
// the root folder of the disc's file system, names on its BOOT line, read from
// an image (through its sheet) or a CD-ROM drive.
//
// The readers use libiso9660, which logs through a process-wide handler that
// ends the process on errors; call gameidPrepareReader once in the process
// that runs them, and run one reader at a time. The reader's parts have
// headers of their own; this one gathers them, with the image reader.
#pragma once

#include <string>

#include "disc/gameid.h"
#include "helper/discid/gameid_boot.h"
#include "helper/discid/gameid_drive.h"
#include "helper/discid/gameid_limits.h"
#include "helper/discid/gameid_tracks.h"

// The ID of the image at sheetPath (.cue .toc .ccd .mds, or a plain data
// file); a .exe has none. files (may be null) gets the sizes and times of the
// files read. GAMEID_UNREADABLE when the sheet or its data file cannot be
// opened, or a read fails; GAMEID_NONE when the data holds no file system,
// one whose volume descriptor or root folder lies outside the image or breaks
// its own bounds, or no ID.
GameIdResult gameidReadImage(const std::string& sheetPath, std::string* id, GameIdFiles* files);
