// Helpers for the in-process GUI tests: the dialog started on the real UI
// definition inside a scratch folder, and runs of the main loop.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

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
    // initialises the windows, and waits until the server shows the main
    // window; with waitForScan, also until the CD list shows the scan of the
    // image folders.
    void start(bool waitForScan = true);
    // Writes settingsFile as the scratch folder's discWren.ini, then starts.
    void startWith(const std::string& settingsFile, bool waitForScan = true);
    // Runs the main loop with action queued; true when something quit the
    // loop, false (a safety limit, not a wait) when it still ran after limitMs.
    bool runUntilQuit(const std::function<void()>& action, int limitMs = 30000);
    // Ends the dialog as a user would, by how: "ok", "cancel", "close" (the
    // window manager's close) or "activate" (the first row of the CD list);
    // true when that quit the main loop.
    bool leave(const std::string& how);
    GtkWidget* widget(const char* id);

    ScratchDir dir;

private:
    bool started_ = false;
};

// The message dialog on screen, if any.
GtkMessageDialog* visibleMessageDialog();

// Handles every event the X server sent before this call, and everything else
// that is pending; what the test did through the server has then reached GTK.
void drain();

// Runs the main loop until done() holds; after limitMs (a safety limit) the
// test fails, naming what it waited for, and the result is false.
// The first widget of type within root, root included, depth first; nullptr
// when there is none.
GtkWidget* findWidget(GtkWidget* root, GType type);

bool waitFor(const std::function<bool()>& done, const std::string& what, int limitMs = 30000);

// What the window manager sends when the user closes window.
void closeWindow(GtkWindow* window);

// The widget's tooltip text; "" for none.
std::string tooltipOf(GtkWidget* widget);

// True once the server has mapped the widget's window.
bool shownOnScreen(GtkWidget* widget);

// Answers dialogs that open while it lives, from the main loop (including the
// loop of gtk_dialog_run). A rule runs on each dialog of its kind once that
// is shown, and for a file chooser once it has loaded its folder, and
// again on later turns of the loop until it returns true (done with that
// dialog). A dialog a rule is not done with after the safety limit fails the
// test and is closed.
class Responder {
public:
    using Rule = std::function<bool(GtkWindow*)>;
    Responder();
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    void onMessage(Rule rule);
    void onChooser(Rule rule);
    // Other windows, by title.
    void onWindow(const std::string& title, Rule rule);
    // Answers every message dialog with response, its text kept in messages.
    void answerMessages(int response = GTK_RESPONSE_CLOSE);
    // Picks path in the next file chooser (nothing when empty), once the
    // chooser shows it, and accepts, or cancels; openedIn is the folder the
    // chooser opened in.
    struct Pick {
        std::string path;
        bool accept = true;
        std::string openedIn;
        bool answered = false;
    };
    void answerChooser(Pick* pick);

    // Applies the rules to what is shown now; the main loop calls it too.
    void check();

    std::vector<std::string> messages;

private:
    enum class Kind { Message, Chooser, Window };
    struct Entry {
        Kind kind;
        std::string title;
        Rule rule;
        std::string doneKey, seenKey;
    };
    void add(Kind kind, const std::string& title, Rule rule);

    std::vector<Entry> entries_;
    guint source_ = 0;
    gulong folderHook_ = 0;
    guint folderSignal_ = 0;
};

// The text of a cell of a list store of the UI definition; "<no row>" past
// its last row.
std::string cell(const char* store, int row, int column);
// The texts of one column of a list store, row by row.
std::vector<std::string> listed(const char* store, int column = 0);

// The CD list as shown, each row's title and full path.
struct Row {
    std::string title, full;
};
std::vector<Row> rows();
std::vector<std::string> titles();
// The row under the CD list's cursor, or -1.
int cursorRow();
// Puts the CD list's cursor on row and activates it, as a double click does.
void activateRow(int row);

// The text the CD list's view draws in a cell of row (the model may hold
// another, as the no-disc entry's stored name).
std::string shownCell(int row, int column);

// Gives window the keyboard focus on the server and waits until GTK knows.
void focusWindow(GtkWindow* window);

// The text of the tooltip on screen, "" while none shows.
std::string tooltipOnScreen();

// The line under the CD list: its text, "" while it shows none; with bar,
// whether its progress bar shows.
std::string stateLine(bool* bar = nullptr);

// Runs the main loop until no scan of the image folders runs and the CD list
// shows the last one's result; false (and a test failure) after limitMs.
bool waitForCatalogue(int limitMs = 30000);
// Runs the main loop until the running "Calc md5" has shown its result or was cancelled.
void waitForMd5();

}  // namespace testsupport
