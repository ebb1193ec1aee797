#include "support/user.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

// Xlib last: its macros (None, Bool) clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace testsupport {

namespace {

std::atomic<CaptureScript*> active{nullptr};

// Passes a capture may make after its script ended before it counts as stuck.
constexpr int SPARE_PASSES = 100;

}  // namespace

User::~User() {
    if (display_) XCloseDisplay(display_);
}

Display* User::display() {
    if (!display_) display_ = XOpenDisplay(nullptr);
    EXPECT_NE(display_, nullptr) << "no X display";
    return display_;
}

User& User::key(int keycode, bool down) {
    XTestFakeKeyEvent(display(), keycode, down, 0);
    XSync(display(), False);
    return *this;
}

User& User::moveTo(int x, int y) {
    XTestFakeMotionEvent(display(), -1, x, y, 0);
    XSync(display(), False);
    return *this;
}

User& User::button(int number, bool down) {
    XTestFakeButtonEvent(display(), number, down, 0);
    XSync(display(), False);
    return *this;
}

User& User::step() {
    if (script_) script_->giveTurn();
    return *this;
}

CaptureScript::CaptureScript(std::function<void(User&)> script)
    : script_(std::move(script)), captureThread_(std::this_thread::get_id()) {
    active = this;
    thread_ = std::thread([this] { runScript(); });
}

CaptureScript::~CaptureScript() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        captureOver_ = true;
    }
    changed_.notify_all();
    thread_.join();
    active = nullptr;
    if (sparePasses_ >= SPARE_PASSES) escape_.up(keycode::ESCAPE);
}

void CaptureScript::runScript() {
    User user;
    user.script_ = this;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return turn_ == Turn::Script || captureOver_; });
    }
    script_(user);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        scriptDone_ = true;
        turn_ = Turn::Capture;
    }
    changed_.notify_all();
}

void CaptureScript::giveTurn() {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_ = Turn::Capture;
    changed_.notify_all();
    changed_.wait(lock, [this] { return turn_ == Turn::Script || captureOver_; });
}

bool CaptureScript::pauseBetweenPasses() {
    CaptureScript* self = active;
    if (!self || std::this_thread::get_id() != self->captureThread_) return false;
    std::unique_lock<std::mutex> lock(self->mutex_);
    if (self->scriptDone_) {
        // Escape stays held until the capture is over, so that a pass sees it.
        if (++self->sparePasses_ == SPARE_PASSES) {
            ADD_FAILURE() << "the capture did not end with its script";
            self->escape_.down(keycode::ESCAPE);
        }
        return true;
    }
    self->turn_ = Turn::Script;
    self->changed_.notify_all();
    self->changed_.wait(lock, [self] { return self->turn_ == Turn::Capture; });
    return true;
}

}  // namespace testsupport

// The capture's pause between passes is the C library's usleep: defined here,
// the test program's own comes first, and a running CaptureScript takes the
// pause on the capturing thread. Every other caller sleeps as usual.
extern "C" int usleep(useconds_t micros) {
    if (testsupport::CaptureScript::pauseBetweenPasses()) return 0;
    struct timespec span = {static_cast<time_t>(micros / 1000000),
                            static_cast<long>(micros % 1000000) * 1000};
    while (nanosleep(&span, &span) != 0)
        if (errno != EINTR) return -1;
    return 0;
}
