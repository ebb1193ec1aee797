// Disc IDs of the listed images and of the chosen disc, as the dialog knows
// them: a table from an image's full path to its ID, filled as IDs arrive from
// the helper processes that read them (the dialog itself never reads an
// image). Everything here runs on the main thread.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "disc/gameid.h"
#include "disc/keptlist.h"

// The ID known for an image's full path (path followed by name, as on disk);
// nullptr when none is known.
const std::string* gameidsFind(const std::string& fullPath);

// Enters an ID that arrived for an image ("" for an image that has none):
// called by the reading side, and by the kept list's loader at start. A text
// that differs from the one known (none counts as "") is news for the notice,
// unless notice is false.
void gameidsTake(const std::string& fullPath, const std::string& id, bool notice = true);

// Enters IDs from the kept list, by full path, with the stamps of the files
// they were read from: after a complete list each is checked by them, not
// read again. No notice: the kept list is taken in before the CD list is
// filled, and the fill shows the IDs with the names. The entries are kept as
// handed in, none copied, until something changes them.
void gameidsTakeKept(std::unordered_map<std::string, KeptId> ids);

// Removes an image's ID (its disc cannot be read now): news for the notice
// when it had one.
void gameidsForget(const std::string& fullPath);
// The image's reading state changed (gameidsStateOf): news for the notice.
void gameidsTouch(const std::string& fullPath);

// Runs after IDs arrived or reading states changed, with the full paths whose
// cell changed, each once: the table batches, calling it from an idle source
// once per turn of the main loop for every change since the last call, so
// callers take IDs one by one. The CD list updates those cells in place.
// nullptr stops the notices.
using GameidsNotify = void (*)(const std::vector<std::string>& fullPaths, void* data);
void gameidsSetNotify(GameidsNotify notify, void* data);

// Asks the helpers for the IDs of images not read yet since the start, after
// a complete list, those in first (in its order) before the rest: a kept ID
// is checked by its stamps, every ID is read again with rereadAll ("Update");
// .exe files have none, and an image that cannot be read (unreadable, its
// reader died twice, or its read was given up) is tried again only with
// rereadAll. Reads still waiting from an earlier call give way. Returns at once.
void gameidsRequest(const std::vector<std::string>& fullPaths, bool rereadAll,
                    const std::vector<std::string>& first = {});
// Moves the waiting reads of first to the front, in its order (the chosen
// disc, then the rows on screen).
void gameidsPrioritise(const std::vector<std::string>& first);

// Images whose ID is being read or checked for the list, or waits to be.
size_t gameidsPending();

// Where an image's reading stands, beside the ID the table knows.
enum GameidsState {
    GAMEIDS_IDLE,     // not waiting: read, or never asked for
    GAMEIDS_WAITING,  // being read or checked for the list, or waiting to be
    GAMEIDS_FAILED,   // cannot be read until "Update"; why gets GAMEID_UNREADABLE or
                      // GAMEID_NO_ANSWER
};
GameidsState gameidsStateOf(const std::string& fullPath, GameIdResult* why);

// How long a read may wait before another reader starts beside it, and before
// it is given up, in milliseconds, until gameidsStop; 0 restores the usual
// waits (1 s and 25 s).
void gameidsSetWaits(int momentMs, int giveUpMs);

// "Get ID": reads the disc (an image's full path, or with device set a drive of
// the device list) now, bypassing what is known; done runs on the main thread
// with the result and, when found, the ID (GAMEID_NO_ANSWER once the read is
// given up). A read of another disc running is given up without an answer.
// False when this disc is being read already or no helper could be had (done is
// then not called).
using GameidsDone = void (*)(GameIdResult result, const std::string& id, void* data);
bool gameidsReadNow(const std::string& disc, bool device, GameidsDone done, void* data);
bool gameidsReadingNow();
bool gameidsReadingNowOf(const std::string& disc);

// Forgets the table, drops a pending notice and lets every reading helper go
// (UI shutdown, after the dialog stopped listening).
void gameidsStop();
// The reading side's part of gameidsStop: its helpers go and no done runs
// afterwards (gameids_read.cpp).
void gameidsStopReading();
// The reading side's part of the table (gameids_read.cpp): the ID of a kept
// entry that nothing has changed since it was taken in, or nullptr; and the
// move of such an entry out, its stamps to the reading side and its ID into
// *id for the table, before anything changes it (false when there is none).
const std::string* gameidsKeptId(const std::string& fullPath);
bool gameidsSettleKept(const std::string& fullPath, std::string* id);
