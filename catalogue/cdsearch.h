// The disc catalogue: the CD-ROM devices and image directories the user keeps.
#pragma once

#include <string>
#include <vector>

#include "disc/cd.h"

// The no-disc entry's name, which is also its full path as the current disc.
extern const char noCdName[];

int cdsearchInit();       // registers the catalogue's lists; 0, or 1 when a handle was missing
void cdsearchShutdown();  // releases every list and lets the scan helper go
// Empties the lists of devices, directories and shown entries. The images
// found stay, but show only while the directory list is the one they were
// read from when it is filled again.
void cdsearchClear();

// Devices, by full path: duplicates (same path and name, case-sensitive) are
// not added; removal takes the first equal entry; index forms act at the
// list position (clamped to the last entry).
void cdsearchAddDevice(const char* device);
void cdsearchRemoveDevice(const char* device);
void cdsearchRemoveDevice(int index);
CD* cdsearchDeviceGet(int index);  // borrowed; nullptr when the list is empty
int cdsearchDeviceQuantity();

// Image directories, stored exactly as given (byte-wise duplicates are dropped).
void cdsearchAddDirectory(const char* directory);
void cdsearchRemoveDirectory(const char* directory);
void cdsearchRemoveDirectory(int index);
char* cdsearchDirectoryGet(int index);  // borrowed; nullptr when the list is empty
int cdsearchDirectoryQuantity();

// The list the CD list shows.
void cdsearchSetFilter(const char* filter);  // keeps at most the first 511 characters
// Rescans every image directory and refills the list: the no-disc entry, then
// the devices, then the images, each sorted by name, all whose name contains
// the filter, case folded (catalogue/cdsort.h). Waits for the scan helper's answer.
void cdsearchBuild();
// Refills the list as cdsearchBuild does, from the images already known.
void cdsearchRefilter();

// Fills the image list from the kept list (disc/keptlist.h): the images
// kept for the folders now in the directory list, joined in its order and
// sorted. The number of images taken; 0 when nothing was kept for them.
int cdsearchLoadKept();
// Reads the kept list of folder (ending in '/') on a thread of its own, while
// the toolkit starts: the next cdsearchLoadKept takes what it read when the
// current folder is that folder, and reads the list itself otherwise.
void cdsearchReadKeptSoon(const std::string& folder);

// The scan in the background, made by a helper process (clients/cdscan.h):
// a scan reads only the folders that may have changed (every one with
// rereadAll); requests made while one runs fold into one more. Its images
// replace the image list when they differ, on the main thread, and then
// notify runs there with whether they did.
void cdsearchScanRequest(bool rereadAll);
bool cdsearchScanBusy();               // a scan runs or waits to run
bool cdsearchScanWait(int timeoutMs);  // takes in answers; true once idle; -1 waits without limit
int cdsearchScanFound();               // images found so far by the running scan
void cdsearchScanNotify(void (*notify)(bool changed, void* data), void* data);
// The full paths of every image known (the filter aside), in list order.
std::vector<std::string> cdsearchImageFullPaths();
CD* cdsearchItemGet(int index);  // borrowed; nullptr when the list is empty
int cdsearchItemQuantity();
