#include "support/window_start.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace bench {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

namespace {

// A window may be gone by the time its properties are asked for.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

// The _NET_WM_PID of window; 0 when it has none or no longer exists.
long windowPid(Display* display, Window window, Atom pidAtom) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1) pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

// The next event of display; false when none came before the deadline or
// the program (watched through exited, a pidfd, or -1) ended first.
bool nextEvent(Display* display, XEvent* event, Clock::time_point deadline, int exited) {
    while (!XPending(display)) {
        double left = std::chrono::duration<double, std::milli>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        struct pollfd ready[2] = {{ConnectionNumber(display), POLLIN, 0}, {exited, POLLIN, 0}};
        if (poll(ready, exited >= 0 ? 2 : 1, static_cast<int>(left) + 1) > 0 && ready[1].revents)
            return false;
    }
    XNextEvent(display, event);
    return true;
}

// Asks window's client to answer a ping; GTK sends the message back to the
// root window from its event dispatch, so the answer shows a running main loop.
void sendPing(Display* display, Window window, Atom protocols, Atom ping) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ping);
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = static_cast<long>(window);
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

}  // namespace

// VmHWM of a running process, in kilobytes; 0 when it cannot be read.
static long peakSinceExec(pid_t pid) {
    FILE* status = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status) return 0;
    char line[256];
    long kilobytes = 0;
    while (fgets(line, sizeof line, status))
        if (sscanf(line, "VmHWM: %ld kB", &kilobytes) == 1) break;
    fclose(status);
    return kilobytes;
}

WindowStart startWindow(const std::vector<std::string>& argv, const std::string& cwd,
                        double limitMs) {
    WindowStart result;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return result;
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    Window root = DefaultRootWindow(display);
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // Selected before the exec, so that no map of the new window is missed.
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    auto start = Clock::now();
    bool started =
        posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);

    if (started) {
        auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double, std::milli>(limitMs));
        int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        Window window = None;
        XEvent event;
        while (nextEvent(display, &event, deadline, exited)) {
            if (window == None) {
                // Menus and tooltips are override-redirect; a top-level of
                // another program carries another pid.
                if (event.type != MapNotify || event.xmap.override_redirect) continue;
                double at = millisecondsSince(start);
                long owner = windowPid(display, event.xmap.window, pidAtom);
                if (owner != 0 && owner != pid) continue;
                result.mappedMs = at;
                window = event.xmap.window;
                sendPing(display, window, protocols, ping);
            } else if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                       static_cast<Atom>(event.xclient.data.l[0]) == ping &&
                       static_cast<Window>(event.xclient.data.l[2]) == window) {
                result.answeredMs = millisecondsSince(start);
                break;
            }
        }
        if (exited >= 0) close(exited);
        // The program's own peak since its exec: wait4's ru_maxrss would also
        // count this process, whose memory the spawned child shares until it execs.
        result.peakKilobytes = peakSinceExec(pid);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return result;
}

double startToAnswerMs(const std::vector<std::string>& argv, const std::string& cwd,
                       double limitMs) {
    return startWindow(argv, cwd, limitMs).answeredMs;
}

}  // namespace bench
