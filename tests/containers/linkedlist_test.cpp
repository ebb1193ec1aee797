#include "containers/linkedlist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int destructorCalls = 0;
void countingDestructor(void*) { ++destructorCalls; }

// Payloads are letters of this buffer, so a list must never free them.
char letters[] = "abcdefghijklmnopqrstuvwxyz";
void* letter(char c) { return &letters[c - 'a']; }

class LinkedListTest : public ::testing::Test {
protected:
    void SetUp() override {
        linkedListSystemInit();
        destructorCalls = 0;
        list = linkedListRegister(reinterpret_cast<void*>(&countingDestructor));
    }
    void TearDown() override { linkedListSystemShutdown(); }

    void fill(const char* items) {
        for (; *items; ++items) linkedListAppend(list, letter(*items));
    }

    // The letters with the cursor's in brackets, e.g. "a[b]c", read back from
    // the tail so that the prev links are checked too; the cursor stays put.
    std::string describe() {
        int position = 0;
        while (linkedListToPrev(list) == 0) ++position;
        int size = linkedListSize(list);  // counted along the next links
        int visited = 0;
        std::string text;
        for (linkedListToEnd(list); linkedListGet(list);) {
            char c = *static_cast<char*>(linkedListGet(list));
            bool atCursor = size - 1 - visited++ == position;
            text.insert(0, atCursor ? std::string("[") + c + "]" : std::string(1, c));
            if (linkedListToPrev(list) != 0) break;
        }
        EXPECT_EQ(visited, size) << "next and prev links disagree";
        linkedListToIndex(list, position);
        return text;
    }

    int list = -1;
};

TEST_F(LinkedListTest, OperationsAtTheCursor) {
    auto stay = [](int) {};
    auto pastTail = [](int h) { EXPECT_EQ(linkedListToNext(h), -1); };
    auto beforeHead = [](int h) { EXPECT_EQ(linkedListToPrev(h), -1); };
    auto appendAbc = [](int h) {
        for (char c : {'a', 'b', 'c'}) linkedListAppend(h, letter(c));
    };
    auto remove = [](int h) { linkedListRemove(h); };
    auto attachX = [](int h) { linkedListAttach(h, letter('x')); };
    auto appendX = [](int h) { linkedListAppend(h, letter('x')); };
    auto insertX = [](int h) { linkedListInsert(h, letter('x')); };
    struct Case {
        const char* items;
        int cursor;
        void (*operation)(int);
        const char* expected;
    } cases[] = {
        // items, cursor index, operation, result
        {"abc", 7, stay, "ab[c]"},
        {"abc", -3, stay, "[a]bc"},
        {"abc", 2, pastTail, "ab[c]"},
        {"abc", 0, beforeHead, "[a]bc"},
        {"", 0, appendAbc, "[a]bc"},  // the first insertion places the cursor
        {"abc", 0, remove, "[b]c"},
        {"abc", 1, remove, "a[c]"},
        {"abc", 2, remove, "a[b]"},
        {"a", 0, remove, ""},
        {"", 0, remove, ""},
        {"abc", 2, linkedListMoveToHead, "ca[b]"},
        {"abc", 0, linkedListMoveToHead, "a[b]c"},
        {"a", 0, linkedListMoveToHead, "[a]"},
        {"abc", 0, linkedListMoveToTail, "[b]ca"},
        {"", 0, linkedListMoveToTail, ""},
        {"abc", 1, linkedListStepToHead, "b[a]c"},
        {"abc", 0, linkedListStepToHead, "[a]bc"},
        {"abc", 1, linkedListStepToTail, "a[c]b"},
        {"abc", 2, linkedListStepToTail, "ab[c]"},
        {"ab", 1, attachX, "xa[b]"},
        {"", 0, attachX, "[x]"},
        {"ab", 0, appendX, "[a]bx"},
        {"abc", 1, insertX, "a[b]xc"},
        {"abc", 2, insertX, "ab[c]x"},
        {"", 0, insertX, "[x]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.items) + " at " + std::to_string(c.cursor));
        linkedListClear(list);
        fill(c.items);
        EXPECT_EQ(linkedListToIndex(list, c.cursor), 0);
        destructorCalls = 0;
        c.operation(list);
        EXPECT_EQ(describe(), c.expected);
        EXPECT_EQ(destructorCalls, 0);
    }
}

struct Keyed {
    int key;
    char tag;
};
int compareCalls = 0;
int keyGreater(void* a, void* b) {
    ++compareCalls;
    return static_cast<Keyed*>(a)->key > static_cast<Keyed*>(b)->key;
}

TEST_F(LinkedListTest, SortIsStableAndMakesFullPasses) {
    Keyed items[] = {{3, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}};
    for (Keyed& item : items) linkedListAppend(list, &item);
    linkedListSort(list, keyGreater);
    EXPECT_EQ(compareCalls, 4 * 3);             // 4 passes over 3 pairs, no early exit
    EXPECT_EQ(linkedListGet(list), &items[1]);  // the cursor's node now holds b
    std::string order;
    do {
        order += static_cast<Keyed*>(linkedListGet(list))->tag;
    } while (linkedListToNext(list) == 0);
    EXPECT_EQ(order, "bdca");
}

// Heap payloads: the sanitizer reports a leak or a double free if a list
// releases any of them other than exactly once, by exactly one means.
TEST_F(LinkedListTest, PayloadsAreReleasedOnceByDestructorOrFree) {
    char* kept[] = {strdup("1"), strdup("2"), strdup("3")};
    for (char* p : kept) linkedListAppend(list, p);
    linkedListAppend(list, nullptr);
    EXPECT_EQ(linkedListRemove(list), kept[0]);
    linkedListDelete(list);
    linkedListClear(list);
    EXPECT_EQ(destructorCalls, 2);  // the null payload is skipped
    EXPECT_EQ(linkedListGet(list), nullptr);
    for (char* p : kept) free(p);

    int plain = linkedListRegister(nullptr);
    for (const char* text : {"a", "b", "c", "d"}) linkedListAppend(plain, strdup(text));
    linkedListAppend(plain, nullptr);
    linkedListDelete(plain);
    linkedListClear(plain);
    linkedListAppend(plain, strdup("released by unregistering"));
    linkedListUnregister(&plain);
    EXPECT_EQ(plain, -1);
    linkedListAppend(linkedListRegister(nullptr), strdup("released by the system shutdown"));
}

TEST_F(LinkedListTest, HandlesAreReusedLowestFirst) {
    int second = linkedListRegister(nullptr);
    linkedListUnregister(&second);
    EXPECT_EQ(linkedListRegister(nullptr), 1);
    for (int expected = 2; expected < LINKED_LIST_HANDLES; ++expected) {
        ASSERT_EQ(linkedListRegister(nullptr), expected);
    }
    EXPECT_EQ(linkedListRegister(nullptr), -1);
    int handle = 700;
    linkedListUnregister(&handle);
    EXPECT_EQ(linkedListRegister(nullptr), 700);
}

TEST_F(LinkedListTest, InvalidHandlesDoNothing) {
    fill("abc");
    int freed = linkedListRegister(nullptr);
    linkedListUnregister(&freed);
    for (int handle : {-5, -1, LINKED_LIST_HANDLES, 1 /* just freed */}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(linkedListSize(handle), 0);
        EXPECT_EQ(linkedListToNext(handle), -1);
        EXPECT_EQ(linkedListToIndex(handle, 2), -1);
        EXPECT_EQ(linkedListGet(handle), nullptr);
        EXPECT_EQ(linkedListRemove(handle), nullptr);
        EXPECT_EQ(linkedListAttach(handle, letter('x')), -1);
        EXPECT_EQ(linkedListAppend(handle, letter('x')), -1);
        EXPECT_EQ(linkedListInsert(handle, letter('x')), -1);
        for (auto change :
             {linkedListToStart, linkedListToEnd, linkedListDelete, linkedListMoveToHead,
              linkedListMoveToTail, linkedListStepToHead, linkedListStepToTail, linkedListClear}) {
            change(handle);
        }
        linkedListSort(handle, keyGreater);
        linkedListInit(handle, nullptr);
        int copy = handle;
        linkedListUnregister(&copy);
        EXPECT_EQ(copy, handle);
    }
    linkedListUnregister(nullptr);
    EXPECT_EQ(describe(), "[a]bc");
    EXPECT_EQ(linkedListRegister(nullptr), 1);
}

}  // namespace
