// The key system on real input paths: the keyboard through the X server
// (XTest), a mouse and a joystick through FIFOs standing in for their nodes.
#include "input/keysystem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "containers/linkedlist.h"
#include "input/fakedevices.h"
#include "input/inputdriver.h"
#include "support/user.h"

using testsupport::CaptureScript;
using testsupport::FakeDeviceFolder;
using testsupport::FakeNode;
using testsupport::JS_AXIS;
using testsupport::JS_BUTTON;
using testsupport::JS_INIT_AXIS;
using testsupport::User;
using namespace testsupport::keycode;

namespace {

class KeySystem : public ::testing::Test {
protected:
    void SetUp() override {
        // A joystick with a trigger on axis 2, resting at one end of its travel,
        // as the platform reports when the node is opened.
        pad.jsEvent(JS_INIT_AXIS, 0, 0);
        pad.jsEvent(JS_INIT_AXIS, 2, -32767);
        linkedListSystemInit();
        keySystemInit();
        linkedListSystemOpen();
        keySystemOpen();
    }
    void TearDown() override {
        keySystemClose();
        linkedListSystemClose();
        keySystemShutdown();
        linkedListSystemShutdown();
    }

    // Runs a capture on text while the user acts in turns with its passes.
    int capture(char* text, const std::function<void(User&)>& script) {
        CaptureScript run(script);
        return findKey(text);
    }

public:
    // One PS/2 packet with the given button bits (bit 3 is always set).
    void click(int buttonBits) { mouse.write({static_cast<uint8_t>(0x08 | buttonBits), 0, 0}); }
    void padButton(int number, bool down) { pad.jsEvent(JS_BUTTON, number, down ? 1 : 0); }
    void axis(int number, int16_t value) { pad.jsEvent(JS_AXIS, number, value); }

protected:
    FakeDeviceFolder folder;
    FakeNode& mouse = folder.add("mouse0");
    FakeNode& pad = folder.add("js0");
};

// Each case captures into a slot holding F9; Escape leaves it empty.
TEST_F(KeySystem, CapturesFromEveryKindOfDeviceUntilLetGoOrEscape) {
    using Script = std::function<void(KeySystem&, User&)>;
    struct Case {
        const char* what;
        Script script;
        const char* stored;
    } cases[] = {
        {"mouse button", [](KeySystem& t, User&) { t.click(0x02); }, "0120000001"},
        {"joystick button",
         [](KeySystem& t, User& u) {
             t.padButton(3, true);
             u.step();
             t.padButton(3, false);
         },
         "0130000003"},
        {"joystick axis half",
         [](KeySystem& t, User& u) {
             t.axis(1, 20000);
             u.step();
             t.axis(1, 0);
         },
         "0130010023"},
        // The trigger's resting half reads pressed on its first move: it must not
        // be taken, nor keep the capture open once the trigger is let go.
        {"trigger",
         [](KeySystem& t, User& u) {
             for (int16_t v :
                  {-30000, -20000, 0, 20000, 32767, 32767, 20000, 5000, -20000, -32767}) {
                 t.axis(2, v);
                 u.step();
             }
         },
         "0130010025"},
        {"keyboard key with modifiers",
         [](KeySystem&, User& u) {
             u.down(CONTROL_L).down(ALT_L).step().tap(KEY_C).up(ALT_L).up(CONTROL_L);
         },
         "0110004436"},
        {"keyboard then mouse",
         [](KeySystem& t, User& u) {
             u.down(F9).step();
             t.click(0x01);
             u.step().up(F9);
         },
         "021000004b20000000"},
        {"a fourth key ignored",
         [](KeySystem&, User& u) {
             for (int k : {KEY_A, KEY_S, KEY_D, KEY_F}) u.down(k).step();
             u.up(KEY_F).up(KEY_D).up(KEY_S).up(KEY_A);
         },
         "03100000261000002710000028"},
        {"escape at once", [](KeySystem&, User& u) { u.tap(ESCAPE); }, ""},
        {"escape after a key", [](KeySystem&, User& u) { u.down(F9).step().tap(ESCAPE).up(F9); },
         ""},
        {"escape with three keys taken",
         [](KeySystem& t, User& u) {
             u.down(KEY_A);
             t.click(0x01);
             t.padButton(0, true);
             u.step().tap(ESCAPE).up(KEY_A);
             t.padButton(0, false);
         },
         ""},
    };
    for (const Case& c : cases) {
        char text[32] = "011000004b";
        const Script& script = c.script;
        EXPECT_EQ(capture(text, [&](User& u) { script(*this, u); }), c.stored[0] ? 1 : 0) << c.what;
        EXPECT_STREQ(text, c.stored) << c.what;
    }
}

// Press edges are reported until the next update, release edges once.
TEST_F(KeySystem, PressAndReleaseAreReportedOncePerEdge) {
    User u;
    const char* f9 = "011000004b";
    // Per update: the key's change, then held, press, press, release, release.
    const struct {
        int change;  // 1 down, -1 up, 0 none
        std::vector<int> read;
    } steps[] = {
        {1, {1, 1, 1, 0, 0}}, {0, {1, 0, 0, 0, 0}}, {-1, {0, 0, 0, 1, 0}}, {1, {1, 1, 1, 0, 0}}};
    for (size_t i = 0; i < std::size(steps); i++) {
        if (steps[i].change) u.key(F9, steps[i].change > 0);
        keySystemUpdate();
        EXPECT_EQ((std::vector<int>{getKey(f9), getKeyPress(f9), getKeyPress(f9), getKeyRelease(f9),
                                    getKeyRelease(f9)}),
                  steps[i].read)
            << "update " << i;
    }
    u.up(F9);

    // Empty combinations are never held, pressed or released.
    keySystemUpdate();
    for (const char* empty : {"", "00"}) {
        EXPECT_EQ(getKey(empty), 0);
        EXPECT_EQ(getKeyPress(empty), 0);
        EXPECT_EQ(getKeyRelease(empty), 0);
    }
}

// Stored combinations that no capture makes read as not held and touch
// nothing outside the device records (the sanitizer build checks the latter).
TEST_F(KeySystem, HostileStoredCombinationsAreNeverHeld) {
    User u;
    u.down(F9);
    click(0x07);
    padButton(5, true);
    keySystemUpdate();
    for (const char* text :
         {"012000ffff", "012f00ffff", "01300000ff", "013f007fff", "011000ffff", "011f00ffff",
          "01f000004b", "01400000001", "01ff00ffff", "031000004b", "-1-f-f-fff"}) {
        EXPECT_EQ(getKey(text), 0) << text;
        EXPECT_EQ(getKeyPress(text), 0) << text;
        EXPECT_EQ(getKeyRelease(text), 0) << text;
    }
    // Genuine keys read held, also under a declared count above 3.
    EXPECT_EQ(getKey("031000004b2000000030000005"), 1);
    EXPECT_EQ(getKey("ff1000004b2000000230000005"), 1);
    KeyCombo overlong;
    setKey(&overlong, 7, 0x4b, 0, 0x10, 0, 0, 0x20, 5, 0, 0x30);
    EXPECT_EQ(getKey(&overlong), 0);
    u.up(F9);
}

}  // namespace
