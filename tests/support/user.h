// A user at the X server: keys and pointer buttons pressed through XTest on a
// connection of its own, and scripts that act in step with a key capture.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The X types without Xlib's macros (None, Bool), which clash with gtest's names.
typedef struct _XDisplay Display;

namespace testsupport {

// X keycodes of the evdev numbering that Xvfb uses.
namespace keycode {
constexpr int ESCAPE = 9, CONTROL_L = 37, ALT_L = 64, KEY_A = 38, KEY_S = 39, KEY_D = 40,
              KEY_F = 41, KEY_C = 54, F9 = 75, F10 = 76;
}

class CaptureScript;

// Steps chain: user.down(F9).step().up(F9). Each step waits until the server
// has handled it, so that anything that reads the server next sees it.
class User {
public:
    User() = default;
    ~User();
    User(const User&) = delete;
    User& operator=(const User&) = delete;

    User& down(int keycode) { return key(keycode, true); }
    User& up(int keycode) { return key(keycode, false); }
    // Down, one pass of a running capture, up.
    User& tap(int keycode) { return down(keycode).step().up(keycode); }
    User& key(int keycode, bool down);
    User& moveTo(int x, int y);  // root window coordinates
    User& button(int number, bool down);
    // Inside a capture script, hands the capture one pass that sees what the
    // user did so far; elsewhere it does nothing.
    User& step();
    Display* display();

private:
    friend class CaptureScript;
    Display* display_ = nullptr;
    CaptureScript* script_ = nullptr;
};

// Runs a user's script on a thread of its own in turns with a key capture on
// the thread that creates this object: the script starts once the capture has
// made its first pass, and each step() lets the capture make one more pass.
// The capture's pause between passes is where the script acts, so nothing
// depends on how long either takes. A capture that goes on after the script
// ended gets Escape and fails the test.
class CaptureScript {
public:
    explicit CaptureScript(std::function<void(User&)> script);
    // Lets the script run to its end (the capture is over) and waits for it.
    ~CaptureScript();
    CaptureScript(const CaptureScript&) = delete;
    CaptureScript& operator=(const CaptureScript&) = delete;

    // The capture's pause between passes; true when this script took it.
    static bool pauseBetweenPasses();

private:
    enum class Turn { Capture, Script };
    void giveTurn();  // from the script's step()
    void runScript();

    std::function<void(User&)> script_;
    std::thread::id captureThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Turn turn_ = Turn::Capture;
    bool scriptDone_ = false;
    bool captureOver_ = false;
    int sparePasses_ = 0;
    User escape_;  // cancels a capture that outlives its script
    std::thread thread_;
    friend class User;
};

}  // namespace testsupport
