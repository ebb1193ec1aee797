// The real dialog driven inside the benchmark program: drawing waited for,
// and a user typing into the CD list's filter.
#pragma once

#include <vector>

namespace bench {

// The dialog in this process, as main starts and ends it, without its main loop.
void startDialog();
void endDialog();

// Lets the dialog handle everything it has queued, draw, and the X server
// finish the drawing.
void drawn();

// Types a name into the filter and deletes it again, one key at a time, each
// drawn before the next; adds the milliseconds of each key to times.
void typeFilterKeys(std::vector<double>& times);

}  // namespace bench
