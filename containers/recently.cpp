#include "containers/recently.h"

#include <cstdlib>
#include <cstring>

#include "containers/linkedlist.h"

// Registered without a destructor: the list frees its strings itself.
static int recentlyList = -1;
static void (*notifyChanged)() = nullptr;

static void changed() {
    if (notifyChanged) notifyChanged();
}

int recentlyInit() {
    recentlyList = linkedListRegister(nullptr);
    return recentlyList < 0 ? 1 : 0;
}

void recentlyShutdown() { linkedListUnregister(&recentlyList); }

void recentlyClear() {
    linkedListClear(recentlyList);
    changed();
}

void recentlyAppend(char* path) {
    if (!path) return;
    if (path[0] == '\0' || recentlyQuantity() >= RECENTLY_CAPACITY ||
        linkedListAppend(recentlyList, path) != 0) {
        free(path);
    }
    changed();
}

void recentlyInsert(char* path) {
    if (!path) return;
    if (path[0] == '\0') {
        free(path);
        return;
    }

    // A path already listed moves to the front; the list keeps its own string.
    int quantity = recentlyQuantity();
    for (int i = 0; i < quantity; ++i) {
        if (strcmp(recentlyGet(i), path) == 0) {
            linkedListMoveToHead(recentlyList);
            free(path);
            changed();
            return;
        }
    }

    // A full list makes room by dropping its oldest entry.
    if (quantity >= RECENTLY_CAPACITY) {
        linkedListToEnd(recentlyList);
        linkedListDelete(recentlyList);
    }
    if (linkedListAttach(recentlyList, path) != 0) free(path);
    changed();
}

char* recentlyGet(int index) {
    linkedListToIndex(recentlyList, index);
    return static_cast<char*>(linkedListGet(recentlyList));
}

int recentlyQuantity() { return linkedListSize(recentlyList); }

void recentlySetNotify(void (*notify)()) { notifyChanged = notify; }
