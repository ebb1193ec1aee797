// The real cfgDiscWren run as a process of its own on the X display and
// driven from outside as a user would: keys through XTest, closing through
// the window manager's message.
#pragma once

// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/keysym.h>
// clang-format on
#include <sys/types.h>

#include <functional>
#include <string>

namespace apptest {

class Program {
public:
    Program();
    ~Program();  // kills a program that still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the executable in the working folder given, its standard error
    // going to the log file, and waits up to 20 seconds for its main window.
    // prepare runs in the child just before the exec; when it returns false
    // the child gives up. Fails the test (and returns false) without a window.
    bool start(const std::string& executable, const std::string& folder, const std::string& log,
               const std::function<bool()>& prepare = {});
    // Presses and releases a key in the dialog's window.
    void pressKey(KeySym symbol);
    // Clicks OK or CANCEL, the last two of the five equal columns of the
    // window's top row.
    void clickOk() { clickTopRow(3); }
    void clickCancel() { clickTopRow(4); }
    // What a window manager sends when the user closes the window.
    void closeWindow();
    // The exit status once the program ends by itself within ten seconds, else -1.
    int exitStatus();
    pid_t pid() const { return child_; }

private:
    Window findWindow();
    void clickTopRow(int column);

    Display* display_ = nullptr;
    pid_t child_ = 0;
    Window window_ = 0;
};

}  // namespace apptest
