// The keyboard read through the X server, with keys pressed and released
// there by XTest (evdev keycodes: Escape 9, Control_L 37, Alt_L 64, 'C' 54).
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on

#include <string>
#include <vector>

#include "input/inputdriver.h"

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "no X display";
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display_, &event, &error, &major, &minor));
        InputDriver::keyboardsInit();
        InputDriver::keyboardsOpen();
    }
    void TearDown() override {
        releaseAll();
        InputDriver::keyboardsClose();
        InputDriver::keyboardsShutdown();
        if (display_) XCloseDisplay(display_);
    }
    // Holds the keys, in order, and polls the driver once they are down.
    void hold(const std::vector<int>& keycodes) {
        for (int code : keycodes) {
            XTestFakeKeyEvent(display_, code, True, CurrentTime);
            held_.push_back(code);
        }
        XSync(display_, False);
        InputDriver::keyboardsUpdate();
    }
    void releaseAll() {
        for (auto it = held_.rbegin(); it != held_.rend(); ++it)
            XTestFakeKeyEvent(display_, *it, False, CurrentTime);
        held_.clear();
        if (display_) XSync(display_, False);
        InputDriver::keyboardsUpdate();
    }
    static std::vector<int> listed() {
        const KeyboardState* k = InputDriver::keyboardState(0);
        return std::vector<int>(k->pressed, k->pressed + k->pressedCount);
    }

    Display* display_ = nullptr;
    std::vector<int> held_;
};

TEST_F(Keyboard, HeldKeysCarryTheirModifiers) {
    std::vector<int> seventeen;
    for (int code = 10; code <= 26; code++) seventeen.push_back(code);
    std::vector<int> sixteen(seventeen.begin(), seventeen.end() - 1);
    struct Case {
        std::vector<int> held;
        std::vector<int> listed;
        int found;
        const char* name;  // of the found key
    } cases[] = {
        {{37}, {}, -1, nullptr},
        {{9}, {9}, 9, "Escape"},
        {{50, 24}, {0x118}, 0x118, "Shift_Left + 'Q'"},
        {{37, 64, 54}, {0x4436}, 0x4436, "Control_Left + Alt_Left + 'C'"},
        {{54, 64, 37}, {0x4436}, 0x4436, "Control_Left + Alt_Left + 'C'"},
        {{50, 9}, {0x109}, 0x109, "Shift_Left + Escape"},
        {{108, 38}, {0x8026}, 0x8026, "Alt_Right + 'A'"},
        {{108, 50, 38}, {0x8126}, -1, nullptr},  // beyond the searched range
        {{75, 54}, {54, 75}, 54, "'C'"},
        {{62, 105, 134, 75}, {0x2A4B}, 0x2A4B, "Shift_Right + Control_Right + Super_Right + F9"},
        {seventeen, sixteen, 10, "'1'"},
    };
    for (const Case& c : cases) {
        hold(c.held);
        std::string what =
            "holding " + std::to_string(c.held.size()) + " keys from " + std::to_string(c.held[0]);
        EXPECT_EQ(listed(), c.listed) << what;
        EXPECT_EQ(InputDriver::keyboardFindKey(0), c.found) << what;
        if (c.name) {
            EXPECT_STREQ(InputDriver::keyboardsGetKeyName(c.found), c.name);
        }
        for (int key : c.listed) EXPECT_EQ(InputDriver::keyboardGetKey(0, key), 1) << what;
        for (int slot = 1; slot < INPUT_DEVICE_COUNT; slot++) {
            EXPECT_EQ(InputDriver::keyboardFindKey(slot), -1) << "slot " << slot;
            if (!c.listed.empty()) {
                EXPECT_EQ(InputDriver::keyboardGetKey(slot, c.listed[0]), 0);
            }
        }
        releaseAll();
        EXPECT_EQ(InputDriver::keyboardFindKey(0), -1) << "after releasing, " << what;
    }
}

TEST_F(Keyboard, MaskingAndClearingHideHeldKeys) {
    hold({54, 75});
    InputDriver::keyboardMaskKey(0, 54);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 54) << "masks apply only while masking is on";
    InputDriver::keyboardsEnableMasking();
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 75);
    EXPECT_EQ(InputDriver::keyboardGetKey(0, 54), 0);
    InputDriver::keyboardMaskKey(0, 75);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), -1);
    InputDriver::keyboardsDisableMasking();
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 54);
    InputDriver::keyboardsEnableMasking();
    InputDriver::keyboardUnMaskKey(0, 54);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 54);
    InputDriver::keyboardsClearMask();
    InputDriver::keyboardUpdate(0);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 54);

    // Clear forgets the held keys until the next update reads them again.
    InputDriver::keyboardsClear();
    EXPECT_EQ(InputDriver::keyboardGetKey(0, 54), 0);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), -1);
    InputDriver::keyboardsUpdate();
    EXPECT_EQ(InputDriver::keyboardFindKey(0), 54);

    // A closed slot reports nothing, whatever it read before.
    InputDriver::keyboardClose(0);
    EXPECT_EQ(InputDriver::keyboardGetKey(0, 54), 0);
    EXPECT_EQ(InputDriver::keyboardFindKey(0), -1);
}

TEST(KeyNames, KeyboardNamesJoinModifiers) {
    struct Case {
        int key;
        const char* name;
    } cases[] = {
        {9, "Escape"},
        {0x518, "Shift_Left + Control_Left + 'Q'"},
        {92, "0x5C"},
        {247, "0xF7"},
        {246, "XF86WLAN"},
        {0, "0x00"},
        {0xFFFF,
         "Shift_Left + Shift_Right + Control_Left + Control_Right + Super_Left + Super_Right + "
         "Alt_Left + Alt_Right + 0xFF"},
        {-1,
         "Shift_Left + Shift_Right + Control_Left + Control_Right + Super_Left + Super_Right + "
         "Alt_Left + Alt_Right + 0xFF"},
        {0x7FFF0000, "0x00"},
    };
    for (const Case& c : cases) EXPECT_STREQ(InputDriver::keyboardsGetKeyName(c.key), c.name);
    EXPECT_EQ(InputDriver::keyboardGetKeyType(0, 0x4436), 0);
}

}  // namespace
