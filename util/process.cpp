#include "util/process.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Looks at one prefix of a path: creates it when missing, fails when it is
// something other than a folder.
int makeOneDir(const char* path, unsigned mode) {
    struct stat st;
    if (stat(path, &st) != 0) {
        if (mkdir(path, static_cast<mode_t>(mode)) == 0) return 0;
        // Another process may have made it in the meantime.
        if (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
        return -1;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

}  // namespace

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

const char* getTmpDir() {
    static char buffer[4096];
    const char* value = getenv("TMPDIR");
    if (!value || strlen(value) >= sizeof buffer) value = "/tmp";
    snprintf(buffer, sizeof buffer, "%s", value);
    return buffer;
}

int makeDir(const char* path, unsigned mode) {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    std::string copy = path;
    for (size_t i = 1; i < copy.size(); i++) {
        // A '/' that starts a component (after another '/') ends nothing.
        if (copy[i] != '/' || copy[i - 1] == '/') continue;
        copy[i] = '\0';
        int result = makeOneDir(copy.c_str(), mode);
        copy[i] = '/';
        if (result != 0) return -1;
    }
    return makeOneDir(path, mode);
}

int getPId() { return static_cast<int>(getpid()); }

int getCmdline(char* buffer) { return getCmdline(buffer, CMDLINE_BUFFER_SIZE); }

int getCmdline(char* buffer, size_t size) {
    char name[32];
    snprintf(name, sizeof name, "/proc/%d/cmdline", getPId());
    size_t count = 0;
    if (buffer && size > 1) {
        int fd = open(name, O_RDONLY);
        if (fd >= 0) {
            // The kernel may hand the text over in pieces.
            while (count < size - 1) {
                ssize_t n = read(fd, buffer + count, size - 1 - count);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                count += static_cast<size_t>(n);
            }
            close(fd);
        }
    }
    if (count == 0) {
        printf("Unable to get cmdline\n");
        fflush(nullptr);
        return 0;
    }
    buffer[count] = '\0';
    return static_cast<int>(count);
}

int setProcessPriority(int level) {
    // In long long: level * -19 does not fit an int for large levels.
    long long increment = static_cast<long long>(level) * -19 / 10;
    if (increment > 40) increment = 40;
    if (increment < -40) increment = -40;
    [[maybe_unused]] int ignored = nice(static_cast<int>(increment));
    return 0;
}

int checkAppFocus(void* display, void* window) {
    if (!display || !window) return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(static_cast<Display*>(display), &focus, &revert);
    return focus == *static_cast<Window*>(window) ? 1 : 0;
}

int sysMessage(const char* format, ...) {
    if (!format) return 0;
    static char message[16384];
    va_list args;
    va_start(args, format);
    vsnprintf(message, 16378, format, args);
    va_end(args);
    // The message travels in single quotes, where the shell expands nothing.
    std::string command = "xmessage -center -print " + shellQuoted(std::string(message) + " ");
    return system(command.c_str());
}
