// The scan of the image folders, made by a helper process (clients/spawn.h)
// so that neither the window nor a keystroke ever waits for the storage, and a
// share that does not answer holds the helper, never the dialog.
//
// The dialog side sends one request at a time; requests made meanwhile fold
// into one more, sent when the answer comes (the helper answers each request
// in turn). Every answer is the whole image list, handed to the receiver
// (which sorts it and compares); a scan that cannot run (the dialog's folder
// cannot be entered, the helper fails twice) is answered without a call to the
// receiver, so the images known stay. The messages are in
// protocol/messages.h. Everything here runs on the main thread, driven by
// the GLib main loop.
#pragma once

#include <string>
#include <vector>

#include "disc/cd.h"
#include "protocol/messages.h"

// Receives a finished scan: the images (the receiver takes the records) and
// the folders they were read from. Runs on the main thread.
using CdscanReceiver = void (*)(std::vector<CD*>& images, const std::vector<std::string>& folders,
                                void* data);

void cdscanSetReceiver(CdscanReceiver receiver, void* data);
// Asks for a scan of folders (rereadAll: every folder is read again, none is
// taken from the helper's cache). A helper that is gone is started again here.
// No folders need no helper: the receiver gets the empty list at once.
void cdscanRequest(const std::vector<std::string>& folders, bool rereadAll);
// Hands images' game IDs to the scan helper, the kept list's one writer: they
// go in batches whenever it has no scan to make, in the order handed in. IDs
// keptlistIdSound refuses are dropped.
void cdscanKeepIds(std::vector<ScanKeptId> ids);
// Removes images' game IDs and their stamps (full paths) from the kept list,
// in turn with cdscanKeepIds: an image that cannot be read keeps no ID.
void cdscanForgetIds(std::vector<std::string> images);
// True while a scan request has no answer yet: the one notion of a running scan.
bool cdscanBusy();
// Takes in answers until none is outstanding, for at most timeoutMs (-1: no
// limit); true when idle then.
bool cdscanWait(int timeoutMs);
// Images found so far by the running scan.
int cdscanFound();
// The scan helper's process id, -1 while none runs.
int cdscanHelperPid();
// Lets the helper go without waiting for it; it ends by itself once its
// current call returns, and is reaped then. Answers not taken in are dropped.
void cdscanStop();
