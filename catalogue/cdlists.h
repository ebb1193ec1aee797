// Copies of the catalogue's device and image-directory lists, so that an edit
// of them can be taken back.
#pragma once

#include <string>
#include <vector>

// Both lists as they stood, in list order, each entry byte for byte.
struct CdLists {
    std::vector<std::string> devices;      // full paths (path followed by name)
    std::vector<std::string> directories;  // as stored
};

CdLists cdlistsSnapshot();  // copies both lists
// Empties both lists, then adds every entry of lists back in its order.
void cdlistsRestore(const CdLists& lists);
