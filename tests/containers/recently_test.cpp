#include "containers/recently.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "containers/linkedlist.h"
#include "support/testsupport.h"

using testsupport::recentList;

namespace {

using Strings = std::vector<std::string>;

class RecentlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        linkedListSystemInit();
        ASSERT_EQ(recentlyInit(), 0);
    }
    void TearDown() override {
        recentlyShutdown();
        linkedListSystemShutdown();
    }
};

std::string numbered(int i) { return "/img/game" + std::to_string(i) + ".cue"; }

// Strings the list refuses are freed by it: the sanitizer reports any leak.
TEST_F(RecentlyTest, AppendKeepsOrderDuplicatesAndTheFirstTwenty) {
    EXPECT_EQ(recentlyGet(0), nullptr);
    for (const char* path : {"/a", "/a", "", "/A"}) recentlyAppend(strdup(path));
    recentlyAppend(nullptr);
    EXPECT_EQ(recentList(), (Strings{"/a", "/a", "/A"}));
    EXPECT_EQ(recentlyGet(25), std::string("/A"));

    recentlyClear();
    Strings expected;
    for (int i = 0; i < 25; ++i) {
        recentlyAppend(strdup(numbered(i).c_str()));
        if (i < RECENTLY_CAPACITY) expected.push_back(numbered(i));
    }
    EXPECT_EQ(recentList(), expected);
}

TEST_F(RecentlyTest, InsertMovesAnEqualEntryAndKeepsItsString) {
    for (const char* path : {"/a", "/b", "/c", "/b"}) recentlyAppend(strdup(path));
    char* own = recentlyGet(1);
    recentlyInsert(strdup("/b"));
    recentlyInsert(strdup(""));
    recentlyInsert(nullptr);
    EXPECT_EQ(recentList(), (Strings{"/b", "/a", "/c", "/b"}));
    EXPECT_EQ(recentlyGet(0), own);

    recentlyInsert(strdup("/C"));  // letter case matters
    EXPECT_EQ(recentList(), (Strings{"/C", "/b", "/a", "/c", "/b"}));
}

TEST_F(RecentlyTest, InsertIntoAFullList) {
    for (int i = 0; i < RECENTLY_CAPACITY; ++i) recentlyAppend(strdup(numbered(i).c_str()));
    recentlyInsert(strdup(numbered(5).c_str()));  // present: moved, nothing dropped
    EXPECT_EQ(recentlyQuantity(), RECENTLY_CAPACITY);
    EXPECT_EQ(recentlyGet(0), numbered(5));
    EXPECT_EQ(recentlyGet(19), numbered(19));

    recentlyInsert(strdup("/new.cue"));  // new: the oldest goes
    EXPECT_EQ(recentlyQuantity(), RECENTLY_CAPACITY);
    EXPECT_EQ(recentlyGet(0), std::string("/new.cue"));
    EXPECT_EQ(recentlyGet(1), numbered(5));
    EXPECT_EQ(recentlyGet(19), numbered(18));
}

TEST_F(RecentlyTest, WithoutAHandleNothingIsKeptOrLeaked) {
    recentlyShutdown();
    recentlyAppend(strdup("/a"));
    recentlyInsert(strdup("/b"));
    EXPECT_EQ(recentlyQuantity(), 0);
    for (int i = 0; i < LINKED_LIST_HANDLES; ++i) linkedListRegister(nullptr);
    EXPECT_EQ(recentlyInit(), 1);
}

}  // namespace
