// The disc catalogue: the CD-ROM devices and image directories the user keeps.
#pragma once

#include <string>

// One catalogue entry. The full path is always path followed by name.
struct CD {
    char* name;  // text after the last '/', or the whole string without one
    char* path;  // text up to and including the last '/', "" without one
};

// The entry's full path: path followed by name.
std::string cdFullPath(const CD* cd);

// A new record with copies of path and name; nullptr when memory runs out.
CD* cdNew(const char* path, const char* name);
// Releases path, name and the record; nullptr is ignored.
void CDDestructor(CD* cd);

int cdsearchInit();       // registers the catalogue's lists; 0, or 1 when a handle was missing
void cdsearchShutdown();  // releases every list
void cdsearchClear();     // empties every list, devices and directories included

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
// the filter (ignoring case). Waits for the scan.
void cdsearchBuild();
// Refills the list as cdsearchBuild does, from the images already known.
void cdsearchRefilter();

// The scan in the background, on a worker thread that touches none of the
// lists above: a scan reads only the folders that may have changed (every one
// with rereadAll), one scan runs at a time and requests made meanwhile fold
// into one more. Results reach the lists only through cdsearchScanCollect.
void cdsearchScanRequest(bool rereadAll);
bool cdsearchScanBusy();               // a scan runs or waits to run
bool cdsearchScanWait(int timeoutMs);  // true once idle; -1 waits without limit
int cdsearchScanFound();               // images found so far by the running scan
// Takes a finished scan's images into the image list; true when they changed.
bool cdsearchScanCollect();
// notify runs on the worker thread whenever a scan finished; nullptr for none.
void cdsearchScanNotify(void (*notify)());
CD* cdsearchItemGet(int index);  // borrowed; nullptr when the list is empty
int cdsearchItemQuantity();

// Scans one directory tree (the string should end in '/') and appends every
// image found to the image list.
void seekImgDir(const char* dir);
// 1 when a's name sorts strictly after b's (bytes folded with tolower and
// compared as signed chars; a name that is a prefix of the other is not after it).
int compareCD(void* a, void* b);
