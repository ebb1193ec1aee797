#include "util/path.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <limits>

int timerWait(double seconds) {
    // Clamp before converting: a negative, NaN or huge product has no
    // useconds_t value.
    double micros = seconds * 1000000.0;
    constexpr double longest = std::numeric_limits<useconds_t>::max();
    if (!(micros > 0.0)) micros = 0.0;
    if (micros > longest) micros = longest;
    return usleep(static_cast<useconds_t>(micros));
}

void reduceToPath(char* s) {
    if (!s) return;
    char* slash = strrchr(s, '/');
    if (slash) {
        slash[1] = '\0';
    } else {
        s[0] = '\0';
    }
}

void reduceToName(char* s) {
    if (!s) return;
    const char* slash = strrchr(s, '/');
    if (!slash) return;
    // The name moves towards the start of the same buffer.
    memmove(s, slash + 1, strlen(slash + 1) + 1);
}

// An empty string stays empty: "/" would turn "no directory" into the root.
void addSlashToDir(char* s) {
    if (!s) return;
    size_t length = strlen(s);
    if (length == 0 || s[length - 1] == '/') return;
    s[length] = '/';
    s[length + 1] = '\0';
}

void removeSlashFromDir(char* s) {
    if (!s || s[0] == '\0') return;
    size_t last = strlen(s) - 1;
    if (s[last] == '/') s[last] = '\0';
}

int checkExtension(const char* name, const char* ext) {
    if (!name || !ext) return 0;
    size_t nameLength = strlen(name);
    size_t extLength = strlen(ext);
    if (nameLength < extLength) return 0;
    return strcasecmp(name + nameLength - extLength, ext) == 0 ? 1 : 0;
}

// The last '.' of the whole string counts, even one in a directory name;
// callers check with checkExtension first.
void changeExtension(char* name, const char* ext) {
    if (!name || !ext) return;
    char* dot = strrchr(name, '.');
    if (!dot) dot = name + strlen(name);
    memmove(dot, ext, strlen(ext) + 1);
}

const char* const imageExtensions[] = {".cue", ".ccd", ".toc", ".mds", ".exe"};
const int imageExtensionCount = sizeof imageExtensions / sizeof *imageExtensions;

bool isImageName(const char* name) { return name && isImageName(name, strlen(name)); }

// Each extension is a '.' and three lower-case letters, so setting bit 0x20
// folds exactly the letters that match: the scan runs this on every file.
bool isImageName(const char* name, size_t length) {
    if (length < 4 || name[length - 4] != '.') return false;
    const char* tail = name + length - 3;
    for (const char* ext : imageExtensions) {
        if ((tail[0] | 0x20) == ext[1] && (tail[1] | 0x20) == ext[2] && (tail[2] | 0x20) == ext[3])
            return true;
    }
    return false;
}
