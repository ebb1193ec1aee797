#include "support/program.h"

// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
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

// A window that goes while it is asked about is no error here; the toolkit's
// own handler, where there is one in this process, comes back after.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

struct IgnoreXErrors {
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    ~IgnoreXErrors() { XSetErrorHandler(previous); }
};

// Where a window is on the screen and its size.
struct Place {
    int left = 0, top = 0, width = 0, height = 0;
};

// The window is placed and sized after it is mapped: waits until it stays put.
bool settle(Display* display, Window window, Place* place) {
    Place previous;
    for (int tries = 0; tries < 40; tries++) {
        pause(100);
        XWindowAttributes attributes;
        Window child;
        Place now;
        if (!XGetWindowAttributes(display, window, &attributes) ||
            !XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &now.left,
                                   &now.top, &child))
            return false;
        now.width = attributes.width;
        now.height = attributes.height;
        *place = now;
        if (tries > 0 && now.left == previous.left && now.top == previous.top &&
            now.width == previous.width && now.height == previous.height)
            break;
        previous = now;
    }
    return true;
}

void clickScreen(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
    XSync(display, False);
    pause(300);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
}

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
    if (!display_) {
        fprintf(stderr, "no X display\n");
        return false;
    }
    child_ = fork();
    if (child_ == 0) {
        // Keep what the toolkit reports, such as a handler it could not find.
        if (chdir(folder.c_str()) != 0 || !freopen(log.c_str(), "w", stderr)) _exit(127);
        if (prepare && !prepare()) _exit(126);
        execl(executable.c_str(), "cfgDiscWren", static_cast<char*>(nullptr));
        _exit(127);
    }
    window_ = findWindow(kTitle);
    if (!window_) fprintf(stderr, "the dialog's window did not appear\n");
    return window_ != 0;
}

XWindow Program::waitWindow(const std::string& title) { return findWindow(title); }

XWindow Program::findWindow(const std::string& title) {
    IgnoreXErrors ignore;
    for (int tries = 0; tries < 400; tries++) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; i++) {
                char* name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(display_, children[i], &name) && name && title == name &&
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

bool Program::shows(XWindow window) {
    IgnoreXErrors ignore;
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) &&
           attributes.map_state == IsViewable;
}

void Program::click(XWindow window, int x, int y) {
    IgnoreXErrors ignore;
    Place place;
    if (!settle(display_, window, &place)) return;
    clickScreen(display_, place.left + (x < 0 ? place.width + x : x),
                place.top + (y < 0 ? place.height + y : y));
}

void Program::clickTopRow(int column) {
    // Inside the border of 5 pixels, the middle of the column and of the row.
    Place place;
    if (!settle(display_, window_, &place)) return;
    clickScreen(display_, place.left + 5 + (2 * column + 1) * (place.width - 10) / 10,
                place.top + 5 + 12);
}

void Program::closeWindow(XWindow window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}

int Program::exitStatus() {
    // Woken by the end itself, so that the benchmarks can time it.
    int ended = static_cast<int>(syscall(SYS_pidfd_open, child_, 0));
    for (int tries = 0; tries < 200; tries++) {
        int status = 0;
        if (waitpid(child_, &status, WNOHANG) == child_) {
            child_ = 0;
            if (ended >= 0) close(ended);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (ended >= 0) {
            struct pollfd ready = {ended, POLLIN, 0};
            poll(&ready, 1, 50);
        } else {
            pause(50);
        }
    }
    if (ended >= 0) close(ended);
    return -1;
}

}  // namespace apptest
