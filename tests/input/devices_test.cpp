// Mice and gamepads fed through FIFOs standing in for their device nodes.
#include <gtest/gtest.h>

#include <vector>

#include "input/fakedevices.h"
#include "input/inputdriver.h"

using namespace testsupport;
using ID = InputDriver;

namespace {

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        ID::miceInit();
        ID::gamepadsInit();
    }
    void TearDown() override {
        ID::miceClose();
        ID::gamepadsClose();
    }
    // The keys of a slot that read pressed.
    static std::vector<int> pressed(int (*getKey)(int, int), int slot) {
        std::vector<int> keys;
        for (int key = 0; key < INPUT_GAMEPAD_KEYS; key++)
            if (getKey(slot, key)) keys.push_back(key);
        return keys;
    }
    FakeDeviceFolder nodes;
};

TEST_F(Devices, SlotsTakeTheNodesThatOpenAndDropWaitingInput) {
    FakeNode& mouse1 = nodes.add("mouse1");
    FakeNode& mouse3 = nodes.add("mouse3");
    FakeNode& js0 = nodes.add("js0");
    FakeNode& js2 = nodes.add("js2");
    FakeNode& js15 = nodes.add("js15");
    mouse1.write({0x04});  // waiting before open: thrown away
    js2.jsEvent(JS_BUTTON, 1, 1);
    ID::miceOpen();
    ID::gamepadsOpen();
    // Each node presses a different button, so the slot shows which node it reads.
    mouse3.write({0x02});
    js0.jsEvent(JS_BUTTON, 10, 1);
    js2.jsEvent(JS_BUTTON, 12, 1);
    js15.jsEvent(JS_BUTTON, 25, 1);
    ID::miceUpdate();
    ID::gamepadsUpdate();
    // Slot 0 reads mouse1, whose early packet is gone; slot 1 reads mouse3.
    const int mice[] = {-1, 1}, pads[] = {10, 12, 25};
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
        EXPECT_EQ(ID::mouseFindKey(slot), slot < 2 ? mice[slot] : -1) << "mouse " << slot;
        EXPECT_EQ(ID::gamepadFindKey(slot), slot < 3 ? pads[slot] : -1) << "gamepad " << slot;
        EXPECT_EQ(ID::mouseState(slot)->fd >= 0, slot < 2) << "mouse " << slot;
        EXPECT_EQ(ID::gamepadState(slot)->fd >= 0, slot < 3) << "gamepad " << slot;
    }
}

TEST_F(Devices, MousePacketsDecodeOncePerPoll) {
    FakeNode& node = nodes.add("mouse0");
    ID::mouseOpen(0);
    struct Case {
        std::vector<uint8_t> packet;
        std::vector<int> pressed;
        int key, magnitude;  // one key's state byte
    } cases[] = {
        {{0x0f, 0, 0, 0}, {0, 1, 2}, 0, 1},
        {{0x00, 0xBF}, {32}, 32, 65},  // -65
        {{0x00, 0xC0}, {}, 32, 64},
        {{0x00, 0x80}, {32}, 32, 127},  // -128
        {{0x01, 0x41, 0x7F}, {0, 33, 35}, 35, 127},
        {{0x00, 0, 0xB0, 0x50}, {34, 37}, 37, 80},
        {{0x00, 0x00, 0x00}, {}, 36, 0},
        // Two three-byte packets in one read: the fourth byte moves the wheel.
        {{0x00, 0x00, 0x00, 0xA0, 0x00, 0x00}, {36}, 36, 96},
    };
    for (const Case& c : cases) {
        node.write(c.packet);
        ID::mouseUpdate(0);
        EXPECT_EQ(pressed(ID::mouseGetKey, 0), c.pressed) << c.packet.size() << " bytes";
        EXPECT_EQ(ID::mouseState(0)->key[c.key], c.magnitude);
        ID::mouseUpdate(0);  // no packet: everything released, held or not
        EXPECT_EQ(pressed(ID::mouseGetKey, 0), std::vector<int>{});
    }
    // Masks hide keys only while masking is on, and survive it being off.
    node.write({0x03});
    ID::mouseUpdate(0);
    ID::mouseMaskKey(0, 0);
    const int found[] = {0, 1, 0, 0};
    for (int step = 0; step < 4; step++) {
        if (step == 1) ID::mouseEnableMasking(0);
        if (step == 2) ID::mouseDisableMasking(0);
        if (step == 3) ID::miceEnableMasking(), ID::miceClearMask();
        EXPECT_EQ(ID::mouseFindKey(0), found[step]) << "step " << step;
    }
}

TEST_F(Devices, GamepadEventsSetButtonsAndAxisHalves) {
    FakeNode& node = nodes.add("js0");
    ID::gamepadOpen(0);
    struct Event {
        uint8_t type, number;
        int16_t value;
    };
    struct Case {
        std::vector<Event> events;
        std::vector<int> pressed;
        int key, magnitude;
    } cases[] = {
        {{{JS_AXIS, 0, -16640}}, {32}, 32, 65},
        {{{JS_AXIS, 0, -16639}}, {}, 32, 64},
        {{{JS_AXIS, 0, -32768}}, {32}, 32, 128},
        {{{JS_AXIS, 0, 0}}, {}, 32, 0},
        // Straight across without passing 0: both halves hold.
        {{{JS_AXIS, 1, -20000}, {JS_AXIS, 1, 20000}}, {34, 35}, 35, 78},
        {{}, {34, 35}, 34, 78},
        {{{JS_AXIS, 1, 0}, {JS_BUTTON, 31, 1}}, {31}, 34, 0},
        {{}, {}, 31, 0},  // a button reads pressed in one update only
        {{{JS_BUTTON, 4, 1}, {JS_BUTTON, 4, 0}}, {}, 4, 0},
        {{{JS_BUTTON, 5, 1}, {JS_AXIS, 4, 30000}}, {5, 41}, 41, 117},
        {{{JS_AXIS, 4, 0}, {JS_BUTTON, 32, 1}, {JS_AXIS, 32, -32767}}, {}, 41, 0},
        {{{JS_INIT_BUTTON, 2, 1}, {JS_INIT_AXIS, 3, 32767}, {0x03, 0, 1}}, {}, 39, 0},
        {{{JS_AXIS, 31, 32767}}, {95}, 95, 127},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        for (const Event& e : cases[i].events) node.jsEvent(e.type, e.number, e.value);
        ID::gamepadUpdate(0);
        EXPECT_EQ(pressed(ID::gamepadGetKey, 0), cases[i].pressed) << "case " << i;
        EXPECT_EQ(ID::gamepadState(0)->key[cases[i].key], cases[i].magnitude) << "case " << i;
    }
    node.jsEvent(JS_BUTTON, 5, 1);
    ID::gamepadUpdate(0);
    EXPECT_EQ(ID::gamepadFindKey(0), 5) << "buttons come before axis halves";
}

TEST_F(Devices, RestingTriggersAreMaskedNotCaptured) {
    FakeNode& pad = nodes.add("js0");
    FakeNode& late = nodes.add("js1");
    // Axis 0 is a centred stick, axis 2 a trigger resting at one end and
    // axis 3 one resting at the other; the platform reports this on open.
    for (auto [axis, value] : {std::pair{0, 0}, {1, -300}, {2, -32767}, {3, 32767}})
        pad.jsEvent(JS_INIT_AXIS, axis, value);
    ID::gamepadsOpen();
    late.jsEvent(JS_INIT_AXIS, 5, 32767);  // read by an update instead
    ID::gamepadsUpdate();

    // How a capture starts: masks cleared, resting halves masked, masking on.
    ID::gamepadsClearMask();
    ID::gamepadsMaskResting();
    ID::gamepadsEnableMasking();
    std::vector<int> masked[2];
    for (int slot : {0, 1})
        for (int key = 0; key < INPUT_GAMEPAD_KEYS; key++)
            if (ID::gamepadState(slot)->mask[key]) masked[slot].push_back(key);
    EXPECT_EQ(masked[0], (std::vector<int>{36, 39}));
    EXPECT_EQ(masked[1], (std::vector<int>{43}));

    // Pressing and letting go of the trigger finds only its far half.
    const int16_t travel[] = {-32767, -20000, 4000, 25000, 6000, -32767};
    const int found[] = {-1, -1, -1, 37, -1, -1};
    for (int i = 0; i < 6; i++) {
        pad.jsEvent(JS_AXIS, 2, travel[i]);
        ID::gamepadUpdate(0);
        EXPECT_EQ(ID::gamepadFindKey(0), found[i]) << "trigger at " << travel[i];
    }
    pad.jsEvent(JS_AXIS, 0, -20000);
    ID::gamepadUpdate(0);
    EXPECT_EQ(ID::gamepadFindKey(0), 32) << "a centred stick behaves as always";
    ID::gamepadsDisableMasking();
    EXPECT_EQ(ID::gamepadGetKey(0, 36), 1) << "stored combinations read unmasked";
    ID::gamepadOpen(0);
    EXPECT_EQ(ID::gamepadState(0)->restKnown, 0u) << "a new binding forgets the old rest";
}

TEST(KeyNames, MiceAndGamepadsNameEveryIndex) {
    struct Case {
        int key;
        const char *mouse, *gamepad;
    } cases[] = {
        {2, "B2", "B2"},         {31, "B31", "B31"},       {32, "A0-", "A0-"}, {34, "A1-", "A1+"},
        {35, "A1+", "A1-"},      {36, "A2-", "A2-"},       {37, "A2+", "A2+"}, {63, "A15+", "A15-"},
        {94, "A15-", "A31+"},    {95, "A15+", "A31-"},     {96, "A0-", "A0-"}, {-1, "B31", "B31"},
        {INT32_MIN, "B0", "B0"}, {0x7fff, "A15+", "A15-"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(ID::miceGetKeyName(c.key), c.mouse) << c.key;
        EXPECT_STREQ(ID::gamepadsGetKeyName(c.key), c.gamepad) << c.key;
    }
    EXPECT_EQ(ID::mouseGetKeyType(0, 31), 0);
    EXPECT_EQ(ID::mouseGetKeyType(0, 32), 1);
    EXPECT_EQ(ID::gamepadGetKeyType(0, 95), 1);
}

}  // namespace
