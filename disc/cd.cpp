#include "disc/cd.h"

#include <cstdlib>
#include <cstring>
#include <string>

std::string cdFullPath(const CD* cd) { return std::string(cd->path) + cd->name; }

CD* cdNew(const char* path, const char* name) {
    CD* cd = static_cast<CD*>(malloc(sizeof(CD)));
    if (!cd) return nullptr;
    cd->name = strdup(name);
    cd->path = strdup(path);
    if (!cd->name || !cd->path) {
        CDDestructor(cd);
        return nullptr;
    }
    return cd;
}

void CDDestructor(CD* cd) {
    if (!cd) return;
    free(cd->path);
    free(cd->name);
    free(cd);
}
