// The ID helper's service (GAMEID_MSG_READ, protocol/messages.h): reads one
// disc's ID at a time for the dialog's ID reads (catalogue/gameids.h).
#pragma once

#include <string>

#include "protocol/frames.h"

// Readies the reader and confines the process to what it needs, with the
// dialog's socket fd; false when the confinement cannot be installed.
bool gameidServiceStart(int fd);
// Answers one request on fd, in the dialog's folder when entered is 0 (else
// why it could not be entered); false when the request is bad or the dialog
// is gone.
bool gameidServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered);

// Runs before each read with the disc's name (nullptr: nothing); the tests'
// helper sets it to end itself on chosen names, as a crashing reader would.
extern void (*gameidServeBeforeRead)(const std::string& disc);
