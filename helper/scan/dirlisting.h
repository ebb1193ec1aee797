// Listing one folder as the system gives it: its status, whether changes on
// its file system go unreported, and its images and subfolders in listing
// order. Made without touching the scan tree, so any thread may list.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace catalogue {

// Characters of a path the system accepts.
constexpr size_t PATH_LIMIT = 4095;

// Entry::child for what is not a folder node of its own.
constexpr int IMAGE = -1;
// A subfolder just listed, whose node is made once the old listing has been
// searched for the same folder (whose node, cache and watch it keeps).
constexpr int NEW_FOLDER = -2;

struct Entry {
    std::string name;
    ino_t ino;
    int child;  // the subfolder's node, IMAGE or NEW_FOLDER
};

struct Listing {
    int error = 0;  // errno when the folder could not be opened or listed to its end, else 0
    struct stat st = {};
    bool unreported = false;     // changes on its file system go unreported (when asked)
    std::vector<Entry> entries;  // images and subfolders (NEW_FOLDER); empty on an error
};

// A listing buffer, one per thread.
using ListingBuffer = std::vector<struct dirent64>;

// Whether inotify may not report changes on the file system of the open
// folder fd (network, user space, kernel views); true when that is unknown.
bool changesGoUnreported(int fd);

// Lists the folder at path, or at name under the open folder parentFd when
// that is not -1 (a shorter look-up). A root may be a symbolic link, other
// folders may not. Asks for the file system's kind when the folder's device
// is not knownDev. keepFd, when given, receives the open folder (or -1 on an
// error), else it is closed. A listing cut short by an I/O error is an error.
Listing listFolder(const std::string& path, int parentFd, const char* name, bool root,
                   dev_t knownDev, ListingBuffer& buffer, int* keepFd);

}  // namespace catalogue
