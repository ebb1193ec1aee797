#include "app/program.h"

// clang-format off
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace apptest {

namespace {

// The main window's title, which no translation changes.
const char* const kTitle = "Ostrel_Vanu_CDR_Plugin v1.21";

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

Program::Program() { display_ = XOpenDisplay(nullptr); }

Program::~Program() {
    if (child_ > 0) {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
}

bool Program::start(const std::string& executable, const std::string& folder,
                    const std::string& log, const std::function<bool()>& prepare) {
    EXPECT_NE(display_, nullptr) << "no X display";
    if (!display_) return false;
    child_ = fork();
    if (child_ == 0) {
        // Keep what the toolkit reports, such as a handler it could not find.
        if (chdir(folder.c_str()) != 0 || !freopen(log.c_str(), "w", stderr)) _exit(127);
        if (prepare && !prepare()) _exit(126);
        execl(executable.c_str(), "cfgDiscWren", static_cast<char*>(nullptr));
        _exit(127);
    }
    window_ = findWindow();
    EXPECT_NE(window_, 0u) << "the dialog's window did not appear";
    return window_ != 0;
}

Window Program::findWindow() {
    for (int tries = 0; tries < 400; tries++) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; i++) {
                char* name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(display_, children[i], &name) && name &&
                    std::string(name) == kTitle &&
                    XGetWindowAttributes(display_, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
                if (name) XFree(name);
            }
            if (children) XFree(children);
        }
        if (found) return found;
        int status = 0;
        if (waitpid(child_, &status, WNOHANG) == child_) {  // ended before showing a window
            child_ = 0;
            return 0;
        }
        pause(50);
    }
    return 0;
}

void Program::pressKey(KeySym symbol) {
    // The server sends the key to the window once the focus is there; the
    // program handles its focus change before the key, in the order sent.
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
    Window focus = 0;
    int revert;
    XGetInputFocus(display_, &focus, &revert);
    EXPECT_EQ(focus, window_);
    KeyCode code = XKeysymToKeycode(display_, symbol);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void Program::clickTopRow(int column) {
    // The window is placed and sized after it is mapped: wait until it stays put.
    XWindowAttributes attributes = {}, previous = {};
    int left = 0, top = 0;
    for (int tries = 0; tries < 40; tries++) {
        pause(100);
        Window child;
        if (!XGetWindowAttributes(display_, window_, &attributes) ||
            !XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &left,
                                   &top, &child))
            return;
        attributes.x = left;
        attributes.y = top;
        if (tries > 0 && attributes.x == previous.x && attributes.y == previous.y &&
            attributes.width == previous.width && attributes.height == previous.height)
            break;
        previous = attributes;
    }
    // Inside the border of 5 pixels, the middle of the column and of the row.
    int x = left + 5 + (2 * column + 1) * (attributes.width - 10) / 10;
    int y = top + 5 + 12;
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XSync(display_, False);
    pause(300);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

void Program::closeWindow() {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window_, False, NoEventMask, &event);
    XSync(display_, False);
}

int Program::exitStatus() {
    for (int tries = 0; tries < 200; tries++) {
        int status = 0;
        if (waitpid(child_, &status, WNOHANG) == child_) {
            child_ = 0;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pause(50);
    }
    return -1;
}

}  // namespace apptest
