// The kept list: the images of the last complete read of the image folders,
// kept in a file beside the settings file so that the next start can show them
// at once while the folders are read again. Plain functions, no GTK. Here is
// the file's form, which both sides read; only the scan helper writes it
// (helper/scan/keptlist_store.h) and merges reads into it (keptlist_merge.h).
//
// File form: the line "discWren image list 2\n", then records of one type
// byte, a text and a NUL: 'F' a folder, 'I' an image of the folder before it,
// 'G' the game ID of the image just before it, as "<sheet size> <seconds>
// <nanoseconds> <data size> <seconds> <nanoseconds> <ID>" (decimal; the ID is
// empty or of the form keptlistIdSound accepts), and last 'E' "<folders> <images>"
// (counts in decimal), which ends the file. Names are stored byte for byte, so
// any name a path can hold comes back. Version 1 files, without 'G' records,
// are still read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "disc/gameid.h"

// True for the IDs a disc can give (gameidFromSystemCnf): empty, or four
// capital letters, '-' and five digits ("SLUS-00330"). No other text is kept
// or taken from the file.
bool keptlistIdSound(std::string_view id);

// An image's game ID and the stamps of the files it was read from.
struct KeptId {
    std::string id;
    GameIdFiles files;
};
bool operator==(const KeptId& a, const KeptId& b);

// The images of one image folder, as the last complete read found them.
struct KeptFolder {
    std::string folder;                                // exactly as the settings file holds it
    std::vector<std::string> images;                   // full paths, in any order
    std::unordered_map<std::string, KeptId> ids = {};  // of images among those, by full path
};

// "./discWren.images": beside the settings file's name in the working folder
// (the program's own folder), never beside the target of a link of that name.
const char* keptlistPath();

// The file's bytes for folders. False (bytes empty) when a name holds a NUL
// byte, which no path can hold and the file cannot carry. IDs of images the
// folder does not list, and IDs keptlistIdSound refuses, are left out.
bool keptlistSerialise(const std::vector<KeptFolder>& folders, std::string* bytes);

// Parses a kept list's bytes. False, with *out empty, for anything damaged,
// cut short, empty, foreign or of another version, for more than 65,536
// folders or 1,048,576 images, for an image whose path is not its folder's
// name followed by more, and for an ID record that follows no image, repeats
// one, does not parse or holds an ID keptlistIdSound refuses; never reads past
// size. A refused list costs no memory; a sound one is built only after every
// record is checked.
bool keptlistParse(const char* data, size_t size, std::vector<KeptFolder>* out);

// Reads file (keptlistPath() when nullptr) in one go and parses it. False,
// with *out empty, when it is absent, not a regular file, unreadable or damaged.
bool keptlistRead(std::vector<KeptFolder>* out, const char* file = nullptr);

// True when a and b hold the same folders in the same order, each with the
// same images in any order and the same IDs: the caller writes the list only
// when this is false.
bool keptlistSame(const std::vector<KeptFolder>& a, const std::vector<KeptFolder>& b);

// Changes to kept IDs by an image's full path: the ID to keep, or none to
// forget the one kept (with its stamps).
using KeptIdChanges = std::unordered_map<std::string, std::optional<KeptId>>;
