// The disc in a CD-ROM drive: the drive's status, and the ID read from the
// disc, or from a block device or file that is read like an image.
#pragma once

#include <string>

#include "disc/gameid.h"

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
