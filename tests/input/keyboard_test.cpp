// The keyboard read through the X server, with keys pressed and released
// there by XTest (evdev keycodes: Escape 9, Control_L 37, Alt_L 64, 'C' 54).
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

#include <vector>

#include "input/inputdriver.h"

using ID = InputDriver;

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(display_ = XOpenDisplay(nullptr), nullptr);
        ID::keyboardsInit();
        ID::keyboardsOpen();
    }
    void TearDown() override {
        hold({});
        ID::keyboardsClose();
        ID::keyboardsShutdown();
        XCloseDisplay(display_);
    }
    // Releases the keys held so far, holds these in order, then polls.
    void hold(const std::vector<int>& keycodes) {
        for (int code : held_) XTestFakeKeyEvent(display_, code, False, CurrentTime);
        for (int code : keycodes) XTestFakeKeyEvent(display_, code, True, CurrentTime);
        held_ = keycodes;
        XSync(display_, False);
        ID::keyboardsUpdate();
    }
    // FindKey as first defined: the lowest index below 0x8100 that reads pressed.
    static int findKeySlowly() {
        for (int key = 0; key < INPUT_KEYBOARD_MASKED; key++)
            if (ID::keyboardGetKey(0, key)) return key;
        return -1;
    }
    Display* display_ = nullptr;
    std::vector<int> held_;
};

TEST_F(Keyboard, HeldKeysCarryTheirModifiers) {
    std::vector<int> seventeen;
    for (int code = 10; code <= 26; code++) seventeen.push_back(code);
    struct Case {
        std::vector<int> held, listed;
        int found;
        const char* name;  // of the found key
    } cases[] = {
        {{37}, {}, -1, ""},
        {{9}, {9}, 9, "Escape"},
        {{50, 24}, {0x118}, 0x118, "Shift_Left + 'Q'"},
        {{54, 64, 37}, {0x4436}, 0x4436, "Control_Left + Alt_Left + 'C'"},
        {{50, 9}, {0x109}, 0x109, "Shift_Left + Escape"},
        {{108, 38}, {0x8026}, 0x8026, "Alt_Right + 'A'"},
        {{108, 50, 38}, {0x8126}, -1, ""},  // beyond the searched indices
        {{75, 54}, {54, 75}, 54, "'C'"},
        {{62, 105, 134, 75}, {0x2A4B}, 0x2A4B, "Shift_Right + Control_Right + Super_Right + F9"},
        {seventeen, std::vector<int>(seventeen.begin(), seventeen.end() - 1), 10, "'1'"},
    };
    for (const Case& c : cases) {
        hold(c.held);
        const KeyboardState* k = ID::keyboardState(0);
        EXPECT_EQ(std::vector<int>(k->pressed, k->pressed + k->pressedCount), c.listed);
        EXPECT_EQ(ID::keyboardFindKey(0), c.found) << c.name;
        EXPECT_EQ(findKeySlowly(), c.found) << c.name;
        if (c.found >= 0) {
            EXPECT_STREQ(ID::keyboardsGetKeyName(c.found), c.name);
        }
        for (int key : c.listed) EXPECT_EQ(ID::keyboardGetKey(0, key), 1) << key;
        for (int slot = 1; slot < INPUT_DEVICE_COUNT; slot++) {
            EXPECT_EQ(ID::keyboardFindKey(slot), -1) << "slot " << slot;
            for (int key : c.listed) EXPECT_EQ(ID::keyboardGetKey(slot, key), 0);
        }
    }
    hold({});
    EXPECT_EQ(ID::keyboardFindKey(0), -1) << "all released";
}

TEST_F(Keyboard, MaskingAndClearingHideHeldKeys) {
    hold({54, 75});
    ID::keyboardMaskKey(0, 54);
    EXPECT_EQ(ID::keyboardFindKey(0), 54) << "masks apply only while masking is on";
    ID::keyboardsEnableMasking();
    EXPECT_EQ(ID::keyboardFindKey(0), 75);
    EXPECT_EQ(findKeySlowly(), 75);
    ID::keyboardMaskKey(0, 75);
    EXPECT_EQ(ID::keyboardFindKey(0), -1);
    ID::keyboardsDisableMasking();
    EXPECT_EQ(ID::keyboardFindKey(0), 54);
    ID::keyboardsEnableMasking();
    ID::keyboardUnMaskKey(0, 54);
    EXPECT_EQ(ID::keyboardFindKey(0), 54);
    // Clear forgets the held keys until the next update reads them again.
    ID::keyboardsClear();
    EXPECT_EQ(ID::keyboardGetKey(0, 54), 0);
    ID::keyboardsUpdate();
    EXPECT_EQ(ID::keyboardGetKey(0, 54), 1);
    ID::keyboardClose(0);
    EXPECT_EQ(ID::keyboardFindKey(0), -1) << "a closed slot reports nothing";
}

TEST(KeyNames, KeyboardNamesJoinModifiers) {
    const char* all =
        "Shift_Left + Shift_Right + Control_Left + Control_Right + Super_Left + Super_Right + "
        "Alt_Left + Alt_Right + 0xFF";
    struct Case {
        int key;
        const char* name;
    } cases[] = {
        {0x518, "Shift_Left + Control_Left + 'Q'"},
        {92, "0x5C"},
        {247, "0xF7"},
        {246, "XF86WLAN"},
        {0xFFFF, all},
        {-1, all},
        {0x7FFF0000, "0x00"},
    };
    for (const Case& c : cases) EXPECT_STREQ(ID::keyboardsGetKeyName(c.key), c.name);
}

}  // namespace
