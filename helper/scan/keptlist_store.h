// The kept list's file replaced whole or not at all (see disc/keptlist.h for
// its form). Only the scan helper writes it.
#pragma once

#include <vector>

#include "disc/keptlist.h"

// Replaces file (keptlistPath() when nullptr) with the list: a temporary file
// of a unique name in the same folder is written, flushed and renamed over it,
// so readers see the old file or the new one, never half of one, and of two
// writers the last rename wins. A link of that name is replaced, not its target.
// Temporaries that writers ended part-way left there over an hour ago go first.
// 0 on success; -1 with errno set on failure (folder missing or not writable,
// disk full, a NUL in a name), the old file kept and no temporary file left.
int keptlistWrite(const std::vector<KeptFolder>& folders, const char* file = nullptr);
