// Mice and gamepads fed through FIFOs standing in for their device nodes.
#include <gtest/gtest.h>

#include <vector>

#include "input/fakedevices.h"
#include "input/inputdriver.h"

using testsupport::FakeDeviceFolder;
using testsupport::FakeNode;
using testsupport::JS_AXIS;
using testsupport::JS_BUTTON;
using testsupport::JS_INIT_AXIS;
using testsupport::JS_INIT_BUTTON;

namespace {

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        InputDriver::miceInit();
        InputDriver::gamepadsInit();
    }
    void TearDown() override {
        InputDriver::miceClose();
        InputDriver::gamepadsClose();
    }
    // Indices of the keys of a slot that read pressed.
    static std::vector<int> pressedMouseKeys(int slot) {
        std::vector<int> keys;
        for (int key = 0; key < INPUT_MOUSE_KEYS; key++)
            if (InputDriver::mouseGetKey(slot, key)) keys.push_back(key);
        return keys;
    }
    static std::vector<int> pressedGamepadKeys(int slot) {
        std::vector<int> keys;
        for (int key = 0; key < INPUT_GAMEPAD_KEYS; key++)
            if (InputDriver::gamepadGetKey(slot, key)) keys.push_back(key);
        return keys;
    }
    FakeDeviceFolder folder;
};

TEST_F(Devices, SlotsTakeTheNodesThatOpenInOrder) {
    FakeNode& mouse1 = folder.add("mouse1");
    FakeNode& mouse3 = folder.add("mouse3");
    FakeNode& js0 = folder.add("js0");
    FakeNode& js2 = folder.add("js2");
    FakeNode& js15 = folder.add("js15");
    InputDriver::miceOpen();
    InputDriver::gamepadsOpen();

    // Each node presses a different button, so the slot shows which node it reads.
    mouse1.write({0x01});
    mouse3.write({0x02});
    js0.jsEvent(JS_BUTTON, 10, 1);
    js2.jsEvent(JS_BUTTON, 12, 1);
    js15.jsEvent(JS_BUTTON, 25, 1);
    InputDriver::miceUpdate();
    InputDriver::gamepadsUpdate();
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0);
    EXPECT_EQ(InputDriver::mouseFindKey(1), 1);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), 10);
    EXPECT_EQ(InputDriver::gamepadFindKey(1), 12);
    EXPECT_EQ(InputDriver::gamepadFindKey(2), 25);
    for (int slot = 2; slot < INPUT_DEVICE_COUNT; slot++)
        EXPECT_EQ(InputDriver::mouseState(slot)->fd, -1) << "mouse slot " << slot;
    for (int slot = 3; slot < INPUT_DEVICE_COUNT; slot++)
        EXPECT_EQ(InputDriver::gamepadState(slot)->fd, -1) << "gamepad slot " << slot;
}

TEST_F(Devices, WithoutNodesEverySlotStaysClosedAndSilent) {
    InputDriver::miceOpen();
    InputDriver::gamepadsOpen();
    InputDriver::miceUpdate();
    InputDriver::gamepadsUpdate();
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
        EXPECT_EQ(InputDriver::mouseState(slot)->fd, -1);
        EXPECT_EQ(InputDriver::mouseFindKey(slot), -1);
        EXPECT_EQ(InputDriver::gamepadFindKey(slot), -1);
    }
}

TEST_F(Devices, MousePacketsDecodeIntoButtonsAndAxisHalves) {
    FakeNode& node = folder.add("mouse0");
    InputDriver::mouseOpen(0);
    struct Case {
        std::vector<uint8_t> packet;
        std::vector<int> pressed;
        int key;  // one key whose magnitude is checked
        int magnitude;
    } cases[] = {
        {{0x07, 0, 0, 0}, {0, 1, 2}, 0, 1},
        {{0x08}, {}, 0, 0},             // bit 3 is no button
        {{0x00, 0xBF}, {32}, 32, 65},   // -65: just pressed
        {{0x00, 0xC0}, {}, 32, 64},     // -64: not pressed
        {{0x00, 0x80}, {32}, 32, 127},  // -128 is limited to 127
        {{0x00, 0x41}, {33}, 33, 65},   // +65
        {{0x01, 0x00, 0x7F}, {0, 35}, 35, 127},
        {{0x00, 0x00, 0xB0, 0x50}, {34, 37}, 37, 80},
        {{0x00, 0x00, 0x00}, {}, 36, 0},  // three bytes leave the wheel alone
        // Two three-byte packets in one read: the fourth byte is taken as the wheel.
        {{0x00, 0x00, 0x00, 0xA0, 0x00, 0x00}, {36}, 36, 96},
    };
    for (const Case& c : cases) {
        node.write(c.packet);
        InputDriver::mouseUpdate(0);
        EXPECT_EQ(pressedMouseKeys(0), c.pressed) << "packet of " << c.packet.size() << " bytes";
        EXPECT_EQ(InputDriver::mouseState(0)->key[c.key], c.magnitude);
        // The next poll without a packet releases everything, held button or not.
        InputDriver::mouseUpdate(0);
        EXPECT_EQ(pressedMouseKeys(0), std::vector<int>{});
    }
}

TEST_F(Devices, MaskingHidesMaskedKeysOnlyWhileEnabled) {
    FakeNode& node = folder.add("mouse0");
    InputDriver::mouseOpen(0);
    node.write({0x03});  // left and right held
    InputDriver::mouseUpdate(0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0);
    InputDriver::mouseMaskKey(0, 0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0) << "masks apply only while masking is on";
    InputDriver::mouseEnableMasking(0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 1);
    EXPECT_EQ(InputDriver::mouseGetKey(0, 0), 0);
    InputDriver::mouseDisableMasking(0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0);
    EXPECT_EQ(InputDriver::mouseState(0)->mask[0], 1) << "disabling keeps the masks";
    InputDriver::mouseEnableMasking(0);
    InputDriver::mouseUnMaskKey(0, 0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0);
    InputDriver::mouseMaskKey(0, 0);
    InputDriver::miceClearMask();
    EXPECT_EQ(InputDriver::mouseFindKey(0), 0);
}

TEST_F(Devices, OpenDiscardsInputWaitingOnTheNode) {
    FakeNode& mouse = folder.add("mouse0");
    FakeNode& pad = folder.add("js0");
    mouse.write({0x01, 0x00, 0x00});
    pad.jsEvent(JS_BUTTON, 3, 1);
    pad.jsEvent(JS_AXIS, 0, -30000);
    InputDriver::mouseOpen(0);
    InputDriver::gamepadOpen(0);
    InputDriver::mouseUpdate(0);
    InputDriver::gamepadUpdate(0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), -1);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), -1);
    // Input arriving later is seen; a re-open binds the same node afresh.
    mouse.write({0x04});
    InputDriver::mouseUpdate(0);
    EXPECT_EQ(InputDriver::mouseFindKey(0), 2);
    InputDriver::mouseOpen(0);
    EXPECT_GE(InputDriver::mouseState(0)->fd, 0);
}

TEST_F(Devices, GamepadEventsSetButtonsAndAxisHalves) {
    FakeNode& node = folder.add("js0");
    InputDriver::gamepadOpen(0);
    struct Event {
        uint8_t type, number;
        int16_t value;
    };
    struct Case {
        const char* what;
        std::vector<Event> events;
        std::vector<int> pressed;
        int key;
        int magnitude;
    } cases[] = {
        {"axis at -16640", {{JS_AXIS, 0, -16640}}, {32}, 32, 65},
        {"axis at -16639", {{JS_AXIS, 0, -16639}}, {}, 32, 64},
        {"axis at -32768", {{JS_AXIS, 0, -32768}}, {32}, 32, 128},
        {"axis back to 0", {{JS_AXIS, 0, 0}}, {}, 32, 0},
        // Straight across without passing 0: both halves hold their magnitudes.
        {"axis 1 across", {{JS_AXIS, 1, -20000}, {JS_AXIS, 1, 20000}}, {34, 35}, 35, 78},
        {"axis 1 held", {}, {34, 35}, 34, 78},
        {"axis 1 to 0", {{JS_AXIS, 1, 0}}, {}, 34, 0},
        {"button 31", {{JS_BUTTON, 31, 1}}, {31}, 31, 1},
        {"button read once", {}, {}, 31, 0},
        {"press then release", {{JS_BUTTON, 4, 1}, {JS_BUTTON, 4, 0}}, {}, 4, 0},
        {"button and axis", {{JS_BUTTON, 5, 1}, {JS_AXIS, 4, 30000}}, {5, 41}, 41, 117},
        {"axis 4 to 0", {{JS_AXIS, 4, 0}}, {}, 41, 0},
        {"number 32 ignored", {{JS_BUTTON, 32, 1}, {JS_AXIS, 32, -32767}}, {}, 95, 0},
        {"initial state ignored",
         {{JS_INIT_BUTTON, 2, 1}, {JS_INIT_AXIS, 3, 32767}, {0x03, 0, 1}},
         {},
         39,
         0},
        {"axis 31", {{JS_AXIS, 31, 32767}}, {95}, 95, 127},
    };
    for (const Case& c : cases) {
        for (const Event& e : c.events) node.jsEvent(e.type, e.number, e.value);
        InputDriver::gamepadUpdate(0);
        EXPECT_EQ(pressedGamepadKeys(0), c.pressed) << c.what;
        EXPECT_EQ(InputDriver::gamepadState(0)->key[c.key], c.magnitude) << c.what;
    }
    // Buttons win over axis halves in FindKey.
    node.jsEvent(JS_BUTTON, 5, 1);
    InputDriver::gamepadUpdate(0);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), 5);
    InputDriver::gamepadUpdate(0);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), 95);
}

TEST_F(Devices, RestingTriggersAreMaskedNotCaptured) {
    FakeNode& node = folder.add("js0");
    // A pad whose axis 0 is a centred stick, axis 2 a trigger resting at one end
    // and axis 3 one resting at the other; the platform reports them on open.
    node.jsEvent(JS_INIT_BUTTON, 0, 0);
    node.jsEvent(JS_INIT_AXIS, 0, 0);
    node.jsEvent(JS_INIT_AXIS, 1, -300);
    node.jsEvent(JS_INIT_AXIS, 2, -32767);
    node.jsEvent(JS_INIT_AXIS, 3, 32767);
    InputDriver::gamepadOpen(0);
    EXPECT_EQ(InputDriver::gamepadState(0)->restKnown, 0xFu);

    // How a capture starts: masks cleared, resting halves masked, masking on.
    InputDriver::gamepadsClearMask();
    InputDriver::gamepadsMaskResting();
    InputDriver::gamepadsEnableMasking();
    std::vector<int> masked;
    for (int key = 0; key < INPUT_GAMEPAD_KEYS; key++)
        if (InputDriver::gamepadState(0)->mask[key]) masked.push_back(key);
    EXPECT_EQ(masked, (std::vector<int>{36, 39}));

    struct Step {
        int16_t axis2;
        int found;
    } steps[] = {
        {-32767, -1},  // at rest
        {-20000, -1},  // on its way: the resting half, masked
        {4000, -1},    // past the middle
        {25000, 37},   // fully pressed: the other half
        {6000, -1},    // let go: the far half drops under the threshold
        {-32767, -1},  // back at rest
    };
    for (const Step& s : steps) {
        node.jsEvent(JS_AXIS, 2, s.axis2);
        InputDriver::gamepadUpdate(0);
        EXPECT_EQ(InputDriver::gamepadFindKey(0), s.found) << "axis 2 at " << s.axis2;
    }
    // A centred stick behaves as always.
    node.jsEvent(JS_AXIS, 0, -20000);
    InputDriver::gamepadUpdate(0);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), 32);
    // Read as a stored combination (masking off) the resting half still reads.
    InputDriver::gamepadsDisableMasking();
    EXPECT_EQ(InputDriver::gamepadGetKey(0, 36), 1);
}

TEST_F(Devices, RestingValuesArriveLateOrNotAtAll) {
    FakeNode& late = folder.add("js0");
    folder.add("js1");
    InputDriver::gamepadsOpen();
    // Initial-state events read by an update still teach the resting value.
    late.jsEvent(JS_INIT_AXIS, 5, 32767);
    InputDriver::gamepadUpdate(0);
    EXPECT_EQ(InputDriver::gamepadFindKey(0), -1) << "an initial event is no movement";
    InputDriver::gamepadMaskResting(0);
    InputDriver::gamepadMaskResting(1);
    EXPECT_EQ(InputDriver::gamepadState(0)->mask[43], 1);
    for (int key = 0; key < INPUT_GAMEPAD_KEYS; key++)
        EXPECT_EQ(InputDriver::gamepadState(1)->mask[key], 0) << "no resting value known";
    // Reopening forgets what the old binding taught.
    InputDriver::gamepadOpen(0);
    EXPECT_EQ(InputDriver::gamepadState(0)->restKnown, 0u);
}

TEST(KeyNames, MiceAndGamepadsNameEveryIndex) {
    struct Case {
        int key;
        const char* mouse;
        const char* gamepad;
    } cases[] = {
        {0, "B0", "B0"},          {2, "B2", "B2"},
        {31, "B31", "B31"},       {32, "A0-", "A0-"},
        {33, "A0+", "A0+"},       {34, "A1-", "A1+"},
        {35, "A1+", "A1-"},       {36, "A2-", "A2-"},
        {37, "A2+", "A2+"},       {39, "A3+", "A3-"},
        {63, "A15+", "A15-"},     {94, "A15-", "A31+"},
        {95, "A15+", "A31-"},     {96, "A0-", "A0-"},
        {-1, "B31", "B31"},       {-2147483647 - 1, "B0", "B0"},
        {0x7fff, "A15+", "A15-"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(InputDriver::miceGetKeyName(c.key), c.mouse) << c.key;
        EXPECT_STREQ(InputDriver::gamepadsGetKeyName(c.key), c.gamepad) << c.key;
    }
    EXPECT_EQ(InputDriver::mouseGetKeyType(0, 31), 0);
    EXPECT_EQ(InputDriver::mouseGetKeyType(0, 32), 1);
    EXPECT_EQ(InputDriver::gamepadGetKeyType(0, 95), 1);
}

}  // namespace
