#include "disc/datafile.h"

#include "util/path.h"

void discDataFile(char* path) {
    static const char* const descriptors[][2] = {
        {".cue", ".bin"}, {".ccd", ".img"}, {".toc", ".bin"}};
    for (const auto& pair : descriptors)
        if (checkExtension(path, pair[0])) {
            changeExtension(path, pair[1]);
            break;
        }
    if (checkExtension(path, ".mds")) changeExtension(path, ".mdf");
}
