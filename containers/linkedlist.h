// Handle-based doubly linked lists of untyped payloads.
//
// A fixed table of LINKED_LIST_HANDLES lists is shared by the whole program; a
// list is named by its handle (0..1023), -1 meaning no list. Each list has one
// cursor through which most operations act, and an optional destructor used
// whenever the list releases a payload (without one, payloads go to free()).
// Every operation accepts any int as a handle: one that is negative, too large
// or not registered makes queries return -1 / 0 / nullptr and changes nothing.
#pragma once

constexpr int LINKED_LIST_HANDLES = 1024;

using LinkedListDestructor = void (*)(void*);
using LinkedListCompare = int (*)(void*, void*);

// System-wide set-up and tear-down.
int linkedListSystemInit();       // marks every handle free; 0
int linkedListSystemOpen();       // 0; nothing to do
void linkedListSystemClose();     // nothing to do
void linkedListSystemShutdown();  // unregisters every handle, releasing payloads

// Registration. The destructor is passed untyped and called with one payload.
int linkedListRegister(void* destructor);  // lowest free handle, or -1 when none is left
void linkedListInit(int handle, LinkedListDestructor destructor);
void linkedListUnregister(int* handle);  // empties and frees the list, sets *handle to -1
void linkedListShutdown(int handle);     // same as linkedListClear
void linkedListClear(int handle);        // releases every payload and node
int linkedListSize(int handle);          // node count

// Cursor movement; the list itself is unchanged.
void linkedListToStart(int handle);
void linkedListToEnd(int handle);
int linkedListToNext(int handle);  // 0, or -1 when there is nowhere to go
int linkedListToPrev(int handle);  // 0, or -1 when there is nowhere to go
// Head, then index steps, stopping at the tail; 0 (-1 only for an invalid handle).
int linkedListToIndex(int handle, int index);
void* linkedListGet(int handle);  // payload at the cursor, nullptr without one

// Insertion never moves an existing cursor; into an empty list the new node
// becomes head, tail and cursor. 0, or -1 when no node could be allocated
// (the payload then stays the caller's).
int linkedListAttach(int handle, void* payload);  // before the head
int linkedListAppend(int handle, void* payload);  // after the tail
int linkedListInsert(int handle, void* payload);  // after the cursor

// Removal at the cursor; the cursor goes to the following node (the new tail
// when the tail was removed). Nothing happens without a cursor.
void* linkedListRemove(int handle);  // unlinks the node and returns its payload unreleased
void linkedListDelete(int handle);   // unlinks the node and releases its payload

// Reordering.
void linkedListMoveToHead(int handle);  // cursor payload becomes the head
void linkedListMoveToTail(int handle);  // cursor payload becomes the tail
void linkedListStepToHead(int handle);  // swaps cursor payload with the previous one
void linkedListStepToTail(int handle);  // swaps cursor payload with the next one
// Bubble sort over payloads, n full passes; compare(a, b) != 0 swaps a and b
// (a belongs after b). Stable. Nodes and cursor stay; payloads move.
void linkedListSort(int handle, LinkedListCompare compare);
