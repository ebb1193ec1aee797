// The benchmark library behind the slow FUSE view (discwren_slowfs), standing
// in for a library on a network share, and find(1)'s time on it.
#pragma once

#include <string>

#include "support/slowfs.h"

namespace bench {

// A mounted view; unmounted when it goes. mounted() says whether it worked
// and error() why not; path() is where the view is.
using SlowMount = testsupport::SlowFs;

// Mounts library (a folder) read-only behind the slow view: every look-up,
// status and listing call waits delayUs (500 is about a share on a home network).
SlowMount mountSlowLibrary(const std::string& library, int delayUs);

// Runs find with the catalogue's name tests on dir (anything but a folder whose
// name ends, in any case, in .cue .ccd .toc .mds or .exe; folders entered,
// links not followed), output discarded; wall milliseconds, CPU ones in *cpu.
double timeFindImages(const std::string& dir, double* cpu);

}  // namespace bench
