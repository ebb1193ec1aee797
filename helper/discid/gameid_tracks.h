// Where an image's file system lies: the data file that its sheet names (or
// that lies beside it), the first data track's start and its sector size.
#pragma once

#include <string>

#include "helper/discid/discsheet.h"

// The data file that holds the file system of the image at sheetPath and
// where its first data track starts: a cue's or toc's first data track, the
// .img beside a .ccd, the .mdf beside a .mds; any other name is itself the
// data file, in 2048-byte sectors. A file the sheet names that is missing
// is matched ignoring letter case in the sheet's folder. False when the sheet
// cannot be read or names no data track, or the data file is missing.
bool gameidTrackOf(const std::string& sheetPath, SheetTrack* track);
