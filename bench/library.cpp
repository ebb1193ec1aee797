#include "bench/library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace bench {

namespace {

const char* const words[] = {"Alpha",  "Blade", "Crystal", "Dragon", "Echo",   "Final",
                             "Ghost",  "Hyper", "Iron",    "Jungle", "Knight", "Legend",
                             "Metal",  "Night", "Omega",   "Power",  "Quest",  "Racer",
                             "Shadow", "Tekno", "Ultra",   "Vortex", "Wild",   "Xeno"};
constexpr int wordCount = sizeof words / sizeof words[0];

void makeFolder(const std::string& path) { mkdir(path.c_str(), 0755); }

void makeFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
}

// A reproducible title for disc number i.
std::string title(int i) {
    uint32_t h = static_cast<uint32_t>(i) * 2654435761u;
    char text[96];
    snprintf(text, sizeof text, "%s %s %05d", words[(h >> 8) % wordCount],
             words[(h >> 16) % wordCount], i);
    return text;
}

}  // namespace

void makeLibrary(const std::string& root, int files) {
    // Every folder on the way to root, then root itself.
    for (size_t slash = root.find('/', 1); slash != std::string::npos;
         slash = root.find('/', slash + 1)) {
        makeFolder(root.substr(0, slash));
    }
    makeFolder(root);
    std::string base = root.empty() || root.back() == '/' ? root : root + "/";

    int discs = files / 10;
    int written = 0;
    for (int i = 0; i < discs || written < files; ++i) {
        int disc = i < discs ? i : discs;  // leftover files join a disc of their own
        std::string shelf = base + "shelf" + std::to_string(disc / 100);
        std::string rack = shelf + "/rack" + std::to_string(disc / 10 % 10);
        std::string name = title(disc);
        std::string folder = rack + "/" + name;
        makeFolder(shelf);
        makeFolder(rack);
        makeFolder(folder);
        if (i < discs) {
            makeFile(folder + "/" + name + (disc % 7 == 3 ? ".CUE" : ".cue"));
            ++written;
        }
        for (int track = 1; track <= 9 && written < files; ++track, ++written) {
            makeFile(folder + "/" + name + " (Track " + std::to_string(track) + ").bin");
        }
        if (i >= discs) break;
    }
}

}  // namespace bench
