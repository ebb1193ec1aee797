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
// the filter (ignoring case).
void cdsearchBuild();
CD* cdsearchItemGet(int index);  // borrowed; nullptr when the list is empty
int cdsearchItemQuantity();

// Scans one directory tree (the string should end in '/') and appends every
// image found to the image list.
void seekImgDir(const char* dir);
// 1 when a's name sorts strictly after b's (bytes folded with tolower and
// compared as signed chars; a name that is a prefix of the other is not after it).
int compareCD(void* a, void* b);
