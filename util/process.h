// Process and directory helpers: the temporary folder, folder trees, the
// process id and command line, the scheduling priority, the input-focus test
// and a message box through xmessage. Single-threaded; string results live in
// static buffers that the next call of the same function overwrites.
#pragma once

#include <cstddef>
#include <string>

// Bytes getCmdline(char*) may write: 1024 bytes of command line and a NUL.
#define CMDLINE_BUFFER_SIZE 1025

// TMPDIR when it is set, else "/tmp". A TMPDIR of 4096 characters or more
// would not fit the 4096-byte result and is refused: "/tmp" is returned.
const char* getTmpDir();

// Creates path and every missing folder above it with mode. 0 when the whole
// path is a folder afterwards (an existing one included); -1 with errno set
// otherwise (ENOTDIR when a component is not a folder).
int makeDir(const char* path, unsigned mode);

int getPId();

// Reads /proc/<pid>/cmdline (NUL-separated arguments) into buffer, which holds
// CMDLINE_BUFFER_SIZE bytes, and ends it with a NUL. Longer command lines are
// cut. The number of bytes read, or 0 after printing "Unable to get cmdline".
int getCmdline(char* buffer);
// The same into a buffer of size bytes: at most size - 1 bytes are read.
int getCmdline(char* buffer, size_t size);

// Calls nice(level * -19 / 10), truncating toward zero, and returns 0 whatever
// nice gives (raising the priority needs privileges).
int setProcessPriority(int level);

// 1 when the window whose id `window` points to (an X Window) has the input
// focus of `display` (a Display*), else 0; 0 for a null argument.
int checkAppFocus(void* display, void* window);

// Shows the printf-formatted message with "xmessage -center -print". The
// message, cut to 16377 characters, reaches xmessage as one argument exactly
// as formatted (followed by one blank): nothing in it is interpreted by the
// shell. Returns the result of system(), or 0 for a null format.
int sysMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// text in single quotes for the shell, each single quote inside as '\''.
std::string shellQuoted(const std::string& text);
