// The real cfgDiscWren run as a process of its own on the X display and
// driven from outside as a user would: clicks and keys through XTest, closing
// through the window manager's message. Usable without gtest, so the
// benchmarks drive the dialog through it too.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

struct _XDisplay;

namespace apptest {

// An X window (an XID): 0 for none.
using XWindow = unsigned long;

class Program {
public:
    Program();
    ~Program();  // kills a program that still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the executable in the working folder given, its standard error
    // going to the log file, and waits up to 20 seconds for its main window.
    // prepare runs in the child just before the exec; when it returns false
    // the child gives up. False without an X display or a window.
    bool start(const std::string& executable, const std::string& folder, const std::string& log,
               const std::function<bool()>& prepare = {});
    // Clicks OK or CANCEL, the last two of the five equal columns of the
    // window's top row.
    void clickOk() { clickTopRow(3); }
    void clickCancel() { clickTopRow(4); }
    // Clicks at x, y in window once it stays put; a negative x or y counts
    // from its right or bottom edge.
    void click(XWindow window, int x, int y);
    // What a window manager sends when the user closes the window.
    void closeWindow() { closeWindow(window_); }
    void closeWindow(XWindow window);
    // A top-level window with this title that shows within 20 seconds, or 0.
    XWindow waitWindow(const std::string& title);
    // Whether window still exists and shows.
    bool shows(XWindow window);
    // The exit status once the program ends by itself within ten seconds, else -1.
    int exitStatus();
    pid_t pid() const { return child_; }
    XWindow window() const { return window_; }

private:
    XWindow findWindow(const std::string& title);
    void clickTopRow(int column);

    _XDisplay* display_ = nullptr;
    pid_t child_ = 0;
    XWindow window_ = 0;
};

}  // namespace apptest
