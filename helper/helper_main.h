// The helper side of the program's one file (protocol/frames.h): free of GTK and
// GLib, so a helper loads nothing of them beyond what the dynamic loader maps.
#pragma once

// When this process was started as a helper, runs its service and ends the
// process there; returns at once otherwise. The first line of main.
void helperMainIfStarted(int argc, char* argv[]);
