#include "containers/linkedlist.h"

#include <cstdlib>
#include <new>

namespace {

struct LinkedListNode {
    void* payload;
    LinkedListNode* next;
    LinkedListNode* prev;
};

struct LinkedListHeader {
    LinkedListNode* head;
    LinkedListNode* tail;
    LinkedListNode* cursor;
};

constexpr int FREE_HANDLE = -1;

// Every handle starts out free, even before linkedListSystemInit runs: a
// zero-filled table would make handle 0 look registered.
struct MarkTable {
    int mark[LINKED_LIST_HANDLES];
};

constexpr MarkTable freeMarks() {
    MarkTable table{};
    for (int i = 0; i < LINKED_LIST_HANDLES; ++i) table.mark[i] = FREE_HANDLE;
    return table;
}

LinkedListHeader headers[LINKED_LIST_HANDLES];
LinkedListDestructor destructors[LINKED_LIST_HANDLES];
MarkTable marks = freeMarks();

bool isRegistered(int handle) {
    return handle >= 0 && handle < LINKED_LIST_HANDLES && marks.mark[handle] == handle;
}

// The header of a registered list, or nullptr for any other handle.
LinkedListHeader* listOf(int handle) { return isRegistered(handle) ? &headers[handle] : nullptr; }

void releasePayload(int handle, void* payload) {
    if (!payload) return;
    if (destructors[handle]) {
        destructors[handle](payload);
    } else {
        free(payload);
    }
}

LinkedListNode* newNode(void* payload) {
    LinkedListNode* node = new (std::nothrow) LinkedListNode;
    if (node) *node = {payload, nullptr, nullptr};
    return node;
}

void linkFirst(LinkedListHeader* list, LinkedListNode* node) {
    node->prev = nullptr;
    node->next = list->head;
    if (list->head) {
        list->head->prev = node;
    } else {
        list->tail = node;
        list->cursor = node;
    }
    list->head = node;
}

void linkLast(LinkedListHeader* list, LinkedListNode* node) {
    node->next = nullptr;
    node->prev = list->tail;
    if (list->tail) {
        list->tail->next = node;
    } else {
        list->head = node;
        list->cursor = node;
    }
    list->tail = node;
}

// Takes the cursor node out of the list. The cursor moves to the following
// node, or to the new tail when the tail was taken, or to none.
LinkedListNode* unlinkCursor(LinkedListHeader* list) {
    LinkedListNode* node = list->cursor;
    if (node->prev) {
        node->prev->next = node->next;
    } else {
        list->head = node->next;
    }
    if (node->next) {
        node->next->prev = node->prev;
    } else {
        list->tail = node->prev;
    }
    list->cursor = node->next ? node->next : node->prev;
    node->next = nullptr;
    node->prev = nullptr;
    return node;
}

void swapPayloads(LinkedListNode* a, LinkedListNode* b) {
    void* payload = a->payload;
    a->payload = b->payload;
    b->payload = payload;
}

}  // namespace

int linkedListSystemInit() {
    marks = freeMarks();
    return 0;
}

int linkedListSystemOpen() { return 0; }

void linkedListSystemClose() {}

void linkedListSystemShutdown() {
    for (int i = 0; i < LINKED_LIST_HANDLES; ++i) {
        int handle = i;
        linkedListUnregister(&handle);
    }
}

int linkedListRegister(void* destructor) {
    for (int handle = 0; handle < LINKED_LIST_HANDLES; ++handle) {
        if (marks.mark[handle] != FREE_HANDLE) continue;
        marks.mark[handle] = handle;
        linkedListInit(handle, reinterpret_cast<LinkedListDestructor>(destructor));
        return handle;
    }
    return -1;
}

void linkedListInit(int handle, LinkedListDestructor destructor) {
    LinkedListHeader* list = listOf(handle);
    if (!list) return;
    *list = {nullptr, nullptr, nullptr};
    destructors[handle] = destructor;
}

void linkedListUnregister(int* handle) {
    if (!handle || !isRegistered(*handle)) return;
    linkedListShutdown(*handle);
    marks.mark[*handle] = FREE_HANDLE;
    destructors[*handle] = nullptr;
    *handle = -1;
}

void linkedListShutdown(int handle) { linkedListClear(handle); }

void linkedListClear(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list) return;
    LinkedListNode* node = list->head;
    while (node) {
        LinkedListNode* next = node->next;
        releasePayload(handle, node->payload);
        delete node;
        node = next;
    }
    *list = {nullptr, nullptr, nullptr};
}

int linkedListSize(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list) return 0;
    int size = 0;
    for (LinkedListNode* node = list->head; node; node = node->next) ++size;
    return size;
}

void linkedListToStart(int handle) {
    if (LinkedListHeader* list = listOf(handle)) list->cursor = list->head;
}

void linkedListToEnd(int handle) {
    if (LinkedListHeader* list = listOf(handle)) list->cursor = list->tail;
}

int linkedListToNext(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor || !list->cursor->next) return -1;
    list->cursor = list->cursor->next;
    return 0;
}

int linkedListToPrev(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor || !list->cursor->prev) return -1;
    list->cursor = list->cursor->prev;
    return 0;
}

int linkedListToIndex(int handle, int index) {
    if (!isRegistered(handle)) return -1;
    linkedListToStart(handle);
    for (int i = 0; i < index; ++i) {
        if (linkedListToNext(handle) != 0) break;
    }
    return 0;
}

void* linkedListGet(int handle) {
    LinkedListHeader* list = listOf(handle);
    return list && list->cursor ? list->cursor->payload : nullptr;
}

int linkedListAttach(int handle, void* payload) {
    LinkedListHeader* list = listOf(handle);
    LinkedListNode* node = list ? newNode(payload) : nullptr;
    if (!node) return -1;
    linkFirst(list, node);
    return 0;
}

int linkedListAppend(int handle, void* payload) {
    LinkedListHeader* list = listOf(handle);
    LinkedListNode* node = list ? newNode(payload) : nullptr;
    if (!node) return -1;
    linkLast(list, node);
    return 0;
}

int linkedListInsert(int handle, void* payload) {
    LinkedListHeader* list = listOf(handle);
    LinkedListNode* node = list ? newNode(payload) : nullptr;
    if (!node) return -1;
    LinkedListNode* cursor = list->cursor;
    if (!cursor || cursor == list->tail) {
        linkLast(list, node);
        return 0;
    }
    node->prev = cursor;
    node->next = cursor->next;
    cursor->next->prev = node;
    cursor->next = node;
    return 0;
}

void* linkedListRemove(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor) return nullptr;
    LinkedListNode* node = unlinkCursor(list);
    void* payload = node->payload;
    delete node;
    return payload;
}

void linkedListDelete(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor) return;
    releasePayload(handle, linkedListRemove(handle));
}

// The moves relink the cursor node itself rather than allocating a new one,
// so they cannot fail half-way and lose the payload. The cursor ends where
// a removal followed by an insertion would leave it.
void linkedListMoveToHead(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor) return;
    linkFirst(list, unlinkCursor(list));
}

void linkedListMoveToTail(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor) return;
    linkLast(list, unlinkCursor(list));
}

void linkedListStepToHead(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor || !list->cursor->prev) return;
    swapPayloads(list->cursor, list->cursor->prev);
}

void linkedListStepToTail(int handle) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !list->cursor || !list->cursor->next) return;
    swapPayloads(list->cursor, list->cursor->next);
}

// Always n full passes, even when a pass swaps nothing.
void linkedListSort(int handle, LinkedListCompare compare) {
    LinkedListHeader* list = listOf(handle);
    if (!list || !compare) return;
    int passes = linkedListSize(handle);
    for (int pass = 0; pass < passes; ++pass) {
        for (LinkedListNode* node = list->head; node && node->next; node = node->next) {
            if (compare(node->payload, node->next->payload)) swapPayloads(node, node->next);
        }
    }
}
