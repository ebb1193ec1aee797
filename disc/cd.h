// The catalogue's record: one CD-ROM device, image or the no-disc entry.
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

// 1 when a's name sorts strictly after b's, by their keys (catalogue/cdsort.h);
// a name whose key begins the other's is not after it.
int compareCD(void* a, void* b);
