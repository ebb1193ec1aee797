// The recently opened discs, most recent first, at most RECENTLY_CAPACITY.
//
// The list owns the strings it is given: recentlyAppend and recentlyInsert
// take a heap string (malloc/strdup) and either store it or free it at once,
// so the caller never frees what it handed in. Empty paths are never stored:
// the settings file cannot carry them.
#pragma once

constexpr int RECENTLY_CAPACITY = 20;

int recentlyInit();               // 0, or 1 when no list handle was left
void recentlyShutdown();          // releases every entry and the list
void recentlyClear();             // releases every entry
void recentlyAppend(char* path);  // stores at the end unless the list is full
void recentlyInsert(char* path);  // moves an equal entry, or the new path, to the front
char* recentlyGet(int index);     // entry at index (the last past the end), nullptr when empty
int recentlyQuantity();
// Runs notify (nullptr: nothing) after each call that may have changed the list.
void recentlySetNotify(void (*notify)());
