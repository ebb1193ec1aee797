// The image scan on a thread of its own, so that neither the window nor a
// keystroke ever waits for the storage. One scan runs at a time; requests made
// meanwhile fold into at most one more. The main thread takes finished results
// in; the worker never touches the catalogue's lists.
#pragma once

#include <string>
#include <vector>

#include "catalogue/cdsearch.h"

namespace catalogue {

// What a finished scan found, sorted as the catalogue sorts.
struct ScanResult {
    bool changed = false;     // false: the same images as the last result taken in
    std::vector<CD*> images;  // owned by the receiver when changed
    unsigned generation = 0;  // scanWorkerForget calls before the scan began
};

// Asks for a scan of dirs (rereadAll: every folder is read again). Starts the
// worker when it is idle, else replaces the queued request (a queued rereadAll stays).
void scanWorkerRequest(const std::vector<std::string>& dirs, bool rereadAll);
// True while a scan runs or waits to run.
bool scanWorkerRunning();
// Waits until no scan runs or waits, at most timeoutMs (-1: no limit); true when idle.
bool scanWorkerWait(int timeoutMs);
// Takes the latest finished result; false when none finished since the last call.
bool scanWorkerTake(ScanResult* result);
// Says that the receiver dropped its images: the next scan delivers its list
// even when it found nothing new.
void scanWorkerForget();
// True when result was made before the last scanWorkerForget, and so says
// "unchanged" about a list the receiver no longer holds.
bool scanWorkerStale(const ScanResult& result);
// Images found so far by the running scan.
int scanWorkerFound();
// Called on the worker thread each time a result is ready; nullptr for none.
void scanWorkerSetNotify(void (*notify)());
// Tells the worker to stop and lets it go without waiting for it: a folder
// listing that never returns cannot hold up the caller. Results not taken are dropped.
void scanWorkerStop();

}  // namespace catalogue
