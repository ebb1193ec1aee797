// How a read of the image folders, and IDs read since, enter the kept list's
// file: the rules the scan helper follows so that writers sharing the file
// never go by a copy of their own.
#pragma once

#include <vector>

#include "disc/keptlist.h"

// Brings file (keptlistPath() when nullptr) up to date after a read of the
// image folders: read holds every folder in the settings' order with the
// images found; a folder whose complete[i] is false (its read failed) takes its
// entry from the file as it is now, and has none when the file holds none. The
// file is written only when it holds something else (or is damaged), so that
// writers sharing it never go by a copy of their own. No folders leave it as
// it is. The IDs the file holds for images still listed stay with them.
// 1 written, 0 already so, -1 with errno set when the write failed.
int keptlistKeep(std::vector<KeptFolder> read, const std::vector<bool>& complete,
                 const char* file = nullptr);

// Enters changes into file (keptlistPath() when nullptr): each applies to the
// image of that path the file lists, replacing or removing the ID it had;
// those of images it does not list, and IDs keptlistIdSound refuses, are
// dropped. Written only when that changes it. 1 written, 0 already so or
// nothing to keep it in (no sound file), -1 with errno set when the write failed.
int keptlistKeepIds(const KeptIdChanges& ids, const char* file = nullptr);
