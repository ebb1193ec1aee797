// The settings file "./discWren.ini": the record plus the device, directory
// and recently opened lists.
#pragma once

#include "settings/settings.h"

#define SETTINGS_FILE_NAME "./discWren.ini"

// Loads defaults, then the file. 0 when the file was read; -1 when it could
// not be opened (the record keeps its defaults, the lists are untouched).
int settingsRead(Settings* s);

// Writes the record and the lists. The previous file is replaced only by a
// complete new one. 0, also when the file could not be written; -1 only when
// no dictionary could be made (then nothing is written).
int settingsWrite(Settings* s);

// True when the file can hold value as it stands. It cannot hold a line break,
// nor both kinds of quote in a value that needs quoting (';', '#', a blank at
// an end, ...); settingsWrite leaves such a value out.
bool settingsCanHold(const char* value);

// Why the last settingsWrite could not replace the file (an errno value), or
// 0 when it did. Lets the dialog tell the user instead of losing the changes.
extern int settingsWriteError;
