// Starting helper processes: every call into an image folder or an image file
// is made by a helper process, so that a share that does not answer can hold
// only a helper, never the dialog.
//
// A helper is this program's own file (/proc/self/exe) started again with
// posix_spawn (safe in a process with threads), so the dialog is one file
// that works wherever it is copied; its arguments and socket are as
// protocol/frames.h describes, and main hands the process to the helper side
// at its first line (helper/helper_main.h). Its standard streams are
// /dev/null, and it holds none of the dialog's files. A program whose main
// cannot start this way names a helper executable with helperSetProgram.
#pragma once

#include <sys/types.h>

#include "protocol/frames.h"

// The executable that helpers run from now on (nullptr: this program's own
// file, which is the default).
void helperSetProgram(const char* path);

// Starts a helper of the given kind: the dialog's end of its socket
// (close-on-exec, non-blocking), or -1 when none could be started. *pidfd gets
// a descriptor of the child made before anything can reap it (close-on-exec),
// *pid its process id; the caller reaps it (clients/helperclient.h). When a
// helper cannot be started after the last one could (or the first time), why
// goes to standard error (perror). Call it from the main thread: a helper
// ends when the thread that started it ends.
int helperSpawn(HelperKind kind, int* pidfd, pid_t* pid);
// True when the last attempt to start a helper failed.
bool helperSpawnFailed();

// Makes sure descriptors 0, 1 and 2 are open (/dev/null for a closed one), so
// that no socket made later takes their place. First thing in main.
void helperOpenStandardStreams();
