#include "catalogue/cd.h"

#include <cctype>
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

int compareCD(void* a, void* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(static_cast<CD*>(a)->name);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(static_cast<CD*>(b)->name);
    for (; *x && *y; ++x, ++y) {
        signed char fx = static_cast<signed char>(tolower(static_cast<signed char>(*x)));
        signed char fy = static_cast<signed char>(tolower(static_cast<signed char>(*y)));
        if (fx != fy) return fx > fy ? 1 : 0;
    }
    return 0;
}
