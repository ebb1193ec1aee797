// In-place path and extension helpers, and a sleep in seconds.
// Strings are NUL-terminated and live in the caller's buffer; the caller
// provides room for growth (addSlashToDir, changeExtension).
#pragma once

#include <cstddef>

int timerWait(double seconds);  // usleep(seconds * 1e6, truncated); usleep's result

void reduceToPath(char* s);        // keep up to and including the last '/'; "" without one
void reduceToName(char* s);        // keep what follows the last '/'; unchanged without one
void addSlashToDir(char* s);       // append '/' unless s ends with one (or is empty)
void removeSlashFromDir(char* s);  // drop one trailing '/'; nullptr and "" are left alone
int checkExtension(const char* name, const char* ext);  // 1 when name ends in ext, any case
void changeExtension(char* name, const char* ext);      // replace from the last '.', or append

// The extensions of the images the catalogue lists (descriptors and
// executables), lower case, and whether name ends in one of them, any case.
extern const char* const imageExtensions[];
extern const int imageExtensionCount;
bool isImageName(const char* name);
bool isImageName(const char* name, size_t length);  // the same for a name of known length
