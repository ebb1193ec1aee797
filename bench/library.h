// Generates a disc image library for the catalogue benchmarks and tests.
#pragma once

#include <string>

namespace bench {

// Fills root (created if missing) with files empty files in nested folders:
// shelves of racks of disc folders, each disc folder holding one descriptor
// (".cue", now and then ".CUE") and nine ".bin" tracks, so one file in ten is
// an image. Names are varied and reproducible for a given count.
void makeLibrary(const std::string& root, int files);

// Fills root with files empty files in a library of uneven depth:
// Category/Letter/"Title (Region)", whose disc files lie in it or, for a game
// on several discs, in "Disc k" folders, and now and then a "Saves" folder
// beside them (3 to 5 levels). One file in ten is an image. Returns the
// number of images.
int makeUnevenLibrary(const std::string& root, int files);

}  // namespace bench
