// Helpers for the in-process GUI tests: the dialog started on the real UI
// definition inside a scratch folder, and runs of the main loop.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "support/testsupport.h"

namespace testsupport {

// Starts GTK for a test program; false (with a message) without a display.
bool startGtk(int* argc, char*** argv);

// The dialog as the program starts it, working in its own scratch folder
// (which may hold a settings file before start() runs). Stopped and torn
// down with the object.
class Dialog {
public:
    Dialog();
    ~Dialog();
    // Loads the definition (failing the test on a load error), builds and
    // initialises the windows, and lets the window settle: with waitForScan,
    // until the CD list shows the scan of the image folders.
    void start(bool waitForScan = true);
    // Runs the main loop with action queued; true when something quit the
    // loop, false when it still ran after the time limit.
    bool runUntilQuit(const std::function<void()>& action, int limitMs = 5000);
    GtkWidget* widget(const char* id);

    ScratchDir dir;

private:
    bool started_ = false;
};

// The message dialog on screen, if any.
GtkMessageDialog* visibleMessageDialog();

// Handles pending events until none is left, then for about ms milliseconds,
// then until the CD list shows the last scan of the image folders.
void settle(int ms = 50);
// Runs the main loop until no scan of the image folders runs and the CD list
// shows the last one's result; false (and a test failure) after limitMs.
bool waitForCatalogue(int limitMs = 30000);

}  // namespace testsupport
