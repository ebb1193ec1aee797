// The key system on real input paths: the keyboard through the X server
// (XTest), a mouse and a joystick through FIFOs standing in for their nodes.
#include "input/keysystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "containers/linkedlist.h"
#include "input/fakedevices.h"
#include "input/inputdriver.h"

// Xlib last: its macros (None, Bool) clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using testsupport::FakeDeviceFolder;
using testsupport::FakeNode;
using testsupport::JS_AXIS;
using testsupport::JS_BUTTON;
using testsupport::JS_INIT_AXIS;

namespace {

// X keycodes of the evdev numbering that Xvfb uses.
constexpr int ESCAPE = 9, CONTROL_L = 37, ALT_L = 64, KEY_A = 38, KEY_S = 39, KEY_D = 40,
              KEY_F = 41, KEY_C = 54, F9 = 75;

// The user's side of a capture, on its own thread and X connection (the
// capture blocks the thread that runs it). Steps chain: u.down(F9).wait(150).
class User {
public:
    User(FakeNode& mouse, FakeNode& pad) : mouse_(mouse), pad_(pad) {}
    ~User() {
        if (display_) XCloseDisplay(display_);
    }
    User& down(int keycode) { return key(keycode, true); }
    User& up(int keycode) { return key(keycode, false); }
    User& tap(int keycode) { return down(keycode).wait(150).up(keycode); }
    User& wait(int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return *this;
    }
    // One PS/2 packet with the given button bits (bit 3 is always set).
    User& click(int buttonBits) {
        mouse_.write({static_cast<uint8_t>(0x08 | buttonBits), 0, 0});
        return *this;
    }
    User& button(int number, bool down) {
        pad_.jsEvent(JS_BUTTON, number, down ? 1 : 0);
        return *this;
    }
    User& axis(int number, int16_t value) {
        pad_.jsEvent(JS_AXIS, number, value);
        return *this;
    }

private:
    User& key(int keycode, bool down) {
        if (!display_) display_ = XOpenDisplay(nullptr);
        XTestFakeKeyEvent(display_, keycode, down, 0);
        XSync(display_, False);
        return *this;
    }
    FakeNode& mouse_;
    FakeNode& pad_;
    Display* display_ = nullptr;
};

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

    // Runs a capture on text while the user acts; the user's script starts once
    // the capture has begun. A capture still running 4 s later is cancelled.
    int capture(char* text, const std::function<void(User&)>& script) {
        std::atomic<bool> done{false};
        std::thread user([&] {
            User u(mouse, pad);
            u.wait(150);
            script(u);
            for (int waited = 0; !done && waited < 4000; waited += 50) u.wait(50);
            if (!done) {
                ADD_FAILURE() << "the capture did not end";
                u.tap(ESCAPE);
            }
        });
        int result = findKey(text);
        done = true;
        user.join();
        return result;
    }

    FakeDeviceFolder folder;
    FakeNode& mouse = folder.add("mouse0");
    FakeNode& pad = folder.add("js0");
};

// Each case captures into a slot holding F9; Escape leaves it empty.
TEST_F(KeySystem, CapturesFromEveryKindOfDeviceUntilLetGoOrEscape) {
    struct Case {
        const char* what;
        std::function<void(User&)> script;
        const char* stored;
    } cases[] = {
        {"mouse button", [](User& u) { u.click(0x02); }, "0120000001"},
        {"joystick button", [](User& u) { u.button(3, true).wait(150).button(3, false); },
         "0130000003"},
        {"joystick axis half", [](User& u) { u.axis(1, 20000).wait(150).axis(1, 0); },
         "0130010023"},
        // The trigger's resting half reads pressed on its first move: it must not
        // be taken, nor keep the capture open once the trigger is let go.
        {"trigger",
         [](User& u) {
             for (int16_t v : {-30000, -20000, 0, 20000, 32767, 32767, 20000, 5000, -20000, -32767})
                 u.axis(2, v).wait(60);
         },
         "0130010025"},
        {"keyboard key with modifiers",
         [](User& u) {
             u.down(CONTROL_L).down(ALT_L).wait(100).tap(KEY_C).up(ALT_L).up(CONTROL_L);
         },
         "0110004436"},
        {"keyboard then mouse", [](User& u) { u.down(F9).wait(150).click(0x01).wait(150).up(F9); },
         "021000004b20000000"},
        {"a fourth key ignored",
         [](User& u) {
             for (int k : {KEY_A, KEY_S, KEY_D, KEY_F}) u.down(k).wait(120);
             u.up(KEY_F).up(KEY_D).up(KEY_S).up(KEY_A);
         },
         "03100000261000002710000028"},
        {"escape at once", [](User& u) { u.tap(ESCAPE); }, ""},
        {"escape after a key", [](User& u) { u.down(F9).wait(150).tap(ESCAPE).up(F9); }, ""},
        {"escape with three keys taken",
         [](User& u) { u.down(KEY_A).click(0x01).button(0, true).wait(150).tap(ESCAPE).up(KEY_A); },
         ""},
    };
    for (const Case& c : cases) {
        char text[32] = "011000004b";
        EXPECT_EQ(capture(text, c.script), c.stored[0] ? 1 : 0) << c.what;
        EXPECT_STREQ(text, c.stored) << c.what;
    }
}

// Press edges are reported until the next update, release edges once.
TEST_F(KeySystem, PressAndReleaseAreReportedOncePerEdge) {
    User u(mouse, pad);
    const char* f9 = "011000004b";
    u.down(F9);
    keySystemUpdate();
    EXPECT_EQ(getKey(f9), 1);
    EXPECT_EQ(getKeyPress(f9), 1);
    EXPECT_EQ(getKeyPress(f9), 1);
    EXPECT_EQ(getKeyRelease(f9), 0);
    EXPECT_EQ(getKeyRelease(f9), 0);
    keySystemUpdate();
    EXPECT_EQ(getKeyPress(f9), 0);
    EXPECT_EQ(getKeyRelease(f9), 0);
    u.up(F9);
    keySystemUpdate();
    EXPECT_EQ(getKeyPress(f9), 0);
    EXPECT_EQ(getKeyRelease(f9), 1);
    EXPECT_EQ(getKeyRelease(f9), 0);
    u.down(F9);
    keySystemUpdate();
    EXPECT_EQ(getKeyPress(f9), 1);
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
    User u(mouse, pad);
    u.down(F9).click(0x07).button(5, true);
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
