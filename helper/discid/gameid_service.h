// The ID helper's service (protocol/gameid_messages.h): reads one disc's ID
// at a time for the dialog's ID reads (catalogue/gameids.h).
#pragma once

#include <string>

// The helper's side: answers each READ on fd in turn until the dialog is gone
// or sends a bad message.
void gameidServe(int fd);

// Runs before each read with the disc's name (nullptr: nothing); the tests'
// helper sets it to end itself on chosen names, as a crashing reader would.
extern void (*gameidServeBeforeRead)(const std::string& disc);
