// Shared by the fuzz targets: a private scratch folder and a failure report.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

// A fresh folder under TMPDIR, else on a memory file system when there is one
// (the targets write files on every run), made the working directory. Its path.
inline std::string enterScratchDir() {
    const char* base = getenv("TMPDIR");
    if (!base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/discwren-fuzz-XXXXXX";
    if (!mkdtemp(path.data()) || chdir(path.c_str()) != 0) {
        perror("scratch folder");
        exit(1);
    }
    return path;
}

// Writes a file of the scratch folder, or fails.
inline void writeFile(const char* name, const void* bytes, size_t size) {
    FILE* file = fopen(name, "wb");
    if (!file || fwrite(bytes, 1, size, file) != size || fclose(file) != 0) {
        fprintf(stderr, "could not write %s\n", name);
        abort();
    }
}

// Prints what was wrong and aborts, so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const std::string& what) {
    fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    abort();
}

}  // namespace fuzzsupport
