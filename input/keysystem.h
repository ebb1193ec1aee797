// The key system: every input device behind one set of operations on key
// combinations. It polls, tests combinations against the latest poll (held,
// just pressed, just released) and captures a combination live.
#pragma once

#include "input/keycombo.h"

// Lifecycle, in the order init, open ... close, shutdown. Init needs the list
// system (it registers four lists) and the X display.
int keySystemInit();
int keySystemOpen();
int keySystemClose();
int keySystemShutdown();

// Polls every device, then promotes the edges seen since the last update.
int keySystemUpdate();
// Zeroes the device states, discards pending device input, empties the lists.
void keySystemClear();

// Tests against the last keySystemUpdate; 1 or 0. An empty combination, a key
// of no kind and a key index beyond its device's keys never read as held.
int getKey(const KeyCombo* combo);
int getKey(const char* text);
// 1 from the first call that sees the combination held until the next update.
int getKeyPress(const KeyCombo* combo);
int getKeyPress(const char* text);
// 1 once, when a combination seen held before an update is let go.
int getKeyRelease(const KeyCombo* combo);
int getKeyRelease(const char* text);

// Captures up to three keys, polling every 0.05 s until every captured key has
// been let go (1) or Escape cancels (0, combo empty). Blocks the caller.
int findKey(KeyCombo* combo);
// The same on a text form; the result is always written back (27 bytes).
int findKey(char* text);

// The steps of a capture, for timing one pass on its own: findKey is begin,
// then passes 0.05 s apart while the pass returns -1, then end.
void keyCaptureBegin(KeyCombo* combo);
int keyCapturePass(KeyCombo* combo);  // -1 go on, 1 captured, 0 cancelled
void keyCaptureEnd();

// Captures one hot key's combination (text forms of its two slots): into first
// while it holds no key, else into second. Escape leaves the slot being set
// empty; at a capture into an empty second slot it empties first as well,
// unassigning the hot key. capture stands in for findKey; returns its result.
int keySystemCaptureHotKey(char* first, char* second, int (*capture)(char* text) = findKey);
