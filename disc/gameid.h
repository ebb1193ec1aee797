// A disc's game ID as both sides see it: how a read ended, and the stamps of
// the files an image's ID was read from, by which a kept ID is checked.
#pragma once

#include <time.h>

enum GameIdResult {
    GAMEID_FOUND,       // the ID is written
    GAMEID_NONE,        // a disc, or a file, without a game ID
    GAMEID_NO_DISC,     // a drive without a disc (or with its tray open)
    GAMEID_UNREADABLE,  // the sheet's data file or the drive cannot be read
    GAMEID_NO_DRIVE,    // no such device: the drive's path does not exist
    GAMEID_NO_ANSWER,   // the dialog gave up waiting for the read (never sent by a reader)
};

// What an image's reading depended on, for the caller to see that it has not
// changed since: the sheet's and the data file's size and modification time
// (zero when the file was not reached).
struct GameIdFiles {
    long long sheetSize = 0;
    timespec sheetTime = {0, 0};
    long long dataSize = 0;
    timespec dataTime = {0, 0};
};

// True when both name the same sizes and times.
bool gameidSameStamps(const GameIdFiles& a, const GameIdFiles& b);
