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

// The title's hash, on which its name and shape depend.
uint32_t mix(int i) { return static_cast<uint32_t>(i) * 2654435761u; }

// Every folder on the way to root, then root itself; root with a '/'.
std::string makeRoot(const std::string& root) {
    for (size_t slash = root.find('/', 1); slash != std::string::npos;
         slash = root.find('/', slash + 1)) {
        makeFolder(root.substr(0, slash));
    }
    makeFolder(root);
    return root.empty() || root.back() == '/' ? root : root + "/";
}

// A reproducible title for disc number i.
std::string title(int i) {
    uint32_t h = mix(i);
    char text[96];
    snprintf(text, sizeof text, "%s %s %05d", words[(h >> 8) % wordCount],
             words[(h >> 16) % wordCount], i);
    return text;
}

}  // namespace

void makeLibrary(const std::string& root, int files) {
    std::string base = makeRoot(root);

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

int makeUnevenLibrary(const std::string& root, int files) {
    static const char* const categories[] = {"Action", "Adventure", "Fighting", "Puzzle",
                                             "Racing", "RPG",       "Shooter",  "Sports"};
    static const char* const regions[] = {"Europe", "USA", "Japan", "France", "Germany"};
    std::string base = makeRoot(root);
    int written = 0, images = 0;
    for (int i = 0; written < files; ++i) {
        uint32_t h = mix(i);
        std::string name = title(i);
        std::string category = base + categories[(h >> 4) % 8];
        std::string letter = category + "/" + name.substr(0, 1);
        std::string game = letter + "/" + name + " (" + regions[(h >> 12) % 5] + ")";
        makeFolder(category);
        makeFolder(letter);
        makeFolder(game);
        // One game in four on two to four discs; one in three keeps saves.
        int discs = (h >> 20) % 4 == 0 ? 2 + static_cast<int>((h >> 24) % 3) : 1;
        bool saves = (h >> 26) % 3 == 0;
        for (int disc = 1; disc <= discs && written < files; ++disc) {
            std::string folder = discs == 1 ? game : game + "/Disc " + std::to_string(disc);
            if (discs > 1) makeFolder(folder);
            makeFile(folder + "/" + name + (disc % 7 == 3 ? ".CUE" : ".cue"));
            ++written;
            ++images;
            // Nine more files: tracks, and in a saves folder two memory cards.
            int tracks = saves ? 7 : 9;
            for (int track = 1; track <= tracks && written < files; ++track, ++written)
                makeFile(folder + "/" + name + " (Track " + std::to_string(track) + ").bin");
            if (!saves) continue;
            makeFolder(folder + "/Saves");
            for (int card = 1; card <= 2 && written < files; ++card, ++written)
                makeFile(folder + "/Saves/card" + std::to_string(card) + ".mcr");
        }
    }
    return images;
}

}  // namespace bench
