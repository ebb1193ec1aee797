// The ID helper's messages, in frames as protocol/frames.h describes.
//
//   kind    from    fields                          meaning
//   READ    dialog  u8 how, str disc, stamps;       read the ID of disc (a relative name is
//                   with it, the dialog's folder    taken from the dialog's folder): how is
//                   as a descriptor (SCM_RIGHTS)    an image, a device, an image to check
//                                                   against stamps first, or either of the
//                                                   first two as the disc's type says
//   ID      helper  i32 result, str id, stamps      the answer: a GameIdResult, or
//                                                   GAMEID_UNCHANGED (no data read) when a
//                                                   check found the stamps as they were;
//                                                   the stamps of the files read
//
// stamps are a GameIdFiles: i64 sheet size, i64 seconds, i64 nanoseconds, the
// same for the data file. Every READ gets exactly one ID; the dialog sends the
// next only after it, and each helper reads one disc at a time (the reader's
// library is not thread-safe). A disc name is at most GAMEID_TEXT_MAX bytes,
// an ID at most GAMEID_ID_MAX; anything else is a bad message. A disc or a
// folder that cannot be read is answered GAMEID_UNREADABLE.
#pragma once

#include <cstddef>
#include <string>

#include "disc/gameid.h"
#include "protocol/frames.h"

enum GameIdMessage : HelperMessage {
    GAMEID_MSG_READ = 32,
    GAMEID_MSG_ID,
};

// How a READ reads its disc.
enum GameIdHow : uint8_t {
    GAMEID_HOW_IMAGE = 0,   // an image, through gameidReadImage
    GAMEID_HOW_DEVICE = 1,  // a drive or a block device, through gameidReadDevice
    GAMEID_HOW_CHECK = 2,   // an image, read only when its files' stamps differ
    GAMEID_HOW_DISC = 3,    // a block device (a loop device) as a device, else an image
};

// The answer to a check whose stamps are the files' own.
constexpr int GAMEID_UNCHANGED = -1;

constexpr size_t GAMEID_TEXT_MAX = 4095;
constexpr size_t GAMEID_ID_MAX = 64;

void gameidWriteStamps(HelperWriter& out, const GameIdFiles& files);
GameIdFiles gameidReadStamps(HelperReader& in);
