// The Misc tab on the real UI definition: the hot-key table captured through
// real clicks and keys on the X server, and the check buttons of "Other".
#include "ui/tab_misc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "input/inputdriver.h"
#include "input/keycombo.h"
#include "settings/settings.h"
#include "support/gui.h"
#include "ui/ui.h"

// Xlib last: its macros (None, Bool) clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using testsupport::Dialog;
using testsupport::ScratchDir;
using testsupport::settle;

namespace {

constexpr int ESCAPE = 9, CONTROL_L = 37, KEY_C = 54, F9 = 75, F10 = 76;

// Input through the X server on a connection of the test's own.
class User {
public:
    User() : display_(XOpenDisplay(nullptr)) {}
    ~User() { XCloseDisplay(display_); }
    User& key(int keycode, bool down) {
        XTestFakeKeyEvent(display_, keycode, down, 0);
        return sync();
    }
    User& tap(int keycode) { return key(keycode, true).wait(150).key(keycode, false); }
    User& moveTo(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, 0);
        return sync();
    }
    User& button(int number, bool down) {
        XTestFakeButtonEvent(display_, number, down, 0);
        return sync();
    }
    User& wait(int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return *this;
    }

private:
    User& sync() {
        XSync(display_, False);
        return *this;
    }
    Display* display_;
};

class MiscTab : public ::testing::Test {
protected:
    void SetUp() override {
        // No real mice or joysticks: an empty device folder.
        InputDriver::setDeviceFolder((devices.path() + "/").c_str());
    }
    void TearDown() override { InputDriver::setDeviceFolder(nullptr); }

    void start() {
        dialog.start();
        gtk_notebook_set_current_page(GTK_NOTEBOOK(dialog.widget("notebookMain")), 1);
        settle(100);
    }
    GtkTreeView* view() { return GTK_TREE_VIEW(dialog.widget("treeviewHotKeys")); }

    std::string cell(int row, int column) {
        GtkTreeModel* model = gtk_tree_view_get_model(view());
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return "<no row>";
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, column, &text, -1);
        std::string result = text ? text : "";
        g_free(text);
        return result;
    }

    // Puts the pointer on the middle of a row of the hot-key table.
    void pointAt(int row) {
        settle(50);  // rows laid out after a rebuild
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        GdkRectangle area;
        gtk_tree_view_get_background_area(view(), path, nullptr, &area);
        gtk_tree_path_free(path);
        int x, y;
        gdk_window_get_origin(gtk_tree_view_get_bin_window(view()), &x, &y);
        user.moveTo(x + area.x + 40, y + area.y + area.height / 2);
        settle(100);
    }

    bool watchCursor() {
        GdkCursor* cursor = gdk_window_get_cursor(gtk_widget_get_window(GTK_WIDGET(windowMain)));
        return cursor && gdk_cursor_get_cursor_type(cursor) == GDK_WATCH;
    }

    // Clicks a row with a mouse button and, once the capture runs, lets the
    // script act on its own thread. A capture still running 4 s later is
    // cancelled with Escape and reported.
    void clickAndCapture(int row, int button, const std::function<void(User&)>& script) {
        pointAt(row);
        user.button(button, true);
        settle(100);
        EXPECT_EQ(cell(row, 1), "Awaiting input...");
        EXPECT_TRUE(watchCursor());
        std::atomic<bool> done{false};
        std::thread actor([&] {
            User own;
            own.wait(200);
            script(own);
            for (int waited = 0; !done && waited < 4000; waited += 50) own.wait(50);
            if (!done) {
                ADD_FAILURE() << "the capture did not end";
                own.tap(ESCAPE);
            }
        });
        user.button(button, false);
        settle(100);  // the capture runs inside the release handler
        settle(300);  // anything queued meanwhile
        done = true;
        actor.join();
        EXPECT_FALSE(watchCursor());
    }

    ScratchDir devices;
    Dialog dialog;
    User user;
};

void pressF9(User& u) { u.tap(F9); }
void pressControlC(User& u) { u.key(CONTROL_L, true).wait(100).tap(KEY_C).key(CONTROL_L, false); }
void pressF10(User& u) { u.tap(F10); }
void pressEscape(User& u) { u.tap(ESCAPE); }

TEST_F(MiscTab, ShowsEveryHotKeyAndFlagFromTheSettings) {
    start();  // with the defaults
    const char* names[] = {"Configuration dialog", "Show status",          "Toggle CDXA",
                           "Toggle CDDA",          "Decrease CDXA volume", "Increase CDXA volume",
                           "Decrease CDDA volume", "Increase CDDA volume", "Open cover",
                           "Close cover",          "CD swapping"};
    for (int h = 0; h < HOTKEY_COUNT; h++) EXPECT_EQ(cell(h, 0), names[h]) << h;
    EXPECT_EQ(cell(11, 0), "<no row>");
    EXPECT_EQ(cell(0, 1), "Kb0_Control_Left + Alt_Left + 'C' / Unassigned");
    EXPECT_EQ(cell(1, 1), "Unassigned / Unassigned");
    EXPECT_EQ(cell(8, 1), "Kb0_F9 / Unassigned");
    strcpy(settings.hotkeys[2][0], "0110004b");
    strcpy(settings.hotkeys[2][1], "0120000002");
    settings.showstatus = 0;
    settings.enablelogging = 1;
    settings.savesettingsonexit = 1;
    on_tab_misc_update();
    EXPECT_EQ(cell(2, 1), "Kb0_F9 / Ms0_B2");

    struct Flag {
        const char* id;
        const char* label;
        int32_t* field;
        bool stored;
    } flags[] = {
        {"checkbuttonMainShowStatus", "Show status", &settings.showstatus, false},
        {"checkbuttonMainCoverOpened", "Cover opened", &settings.coveropened, false},
        {"checkbuttonMainCallDialogOnStart", "Call dialog on emu start",
         &settings.calldialogonstart, false},
        {"checkbuttonMainEnableLogging", "Enable logging", &settings.enablelogging, true},
        {"checkbuttonMainEnableDebugger", "Enable debugger", &settings.enabledebugger, false},
        {"checkbuttonMainSaveDialogParameters", "Save dialog parameters",
         &settings.savedialogparameters, false},
        {"checkbuttonMainSaveSettingsOnExit", "Save the settings on exit",
         &settings.savesettingsonexit, true},
    };
    for (const Flag& f : flags) {
        GtkToggleButton* button = GTK_TOGGLE_BUTTON(dialog.widget(f.id));
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button)), f.label);
        EXPECT_EQ(gtk_toggle_button_get_active(button), f.stored) << f.id;
        // Each button stores its own flag and no other.
        int32_t before[7];
        for (int i = 0; i < 7; i++) before[i] = *flags[i].field;
        gtk_button_clicked(GTK_BUTTON(button));
        EXPECT_EQ(*f.field, f.stored ? 0 : 1) << f.id;
        for (int i = 0; i < 7; i++)
            EXPECT_TRUE(flags[i].field == f.field || *flags[i].field == before[i]) << f.id;
        gtk_button_clicked(GTK_BUTTON(button));
        EXPECT_EQ(*f.field, f.stored ? 1 : 0) << f.id;
    }
}

TEST_F(MiscTab, TheTooltipFollowsThePointer) {
    start();
    for (int row : {3, 10, 0}) {
        pointAt(row);
        gchar* tip = gtk_widget_get_tooltip_text(GTK_WIDGET(view()));
        EXPECT_STREQ(tip, hotKeyTooltip[row]) << row;
        g_free(tip);
    }
}

// Repeated clicks: the first slot while it is empty, else the second; Escape
// at the second capture of a half-assigned hot key unassigns it.
TEST_F(MiscTab, RepeatedClicksFillTheSlotsAndEscapeClears) {
    struct Case {
        const char *first, *second;
        void (*script)(User&);
        const char *firstAfter, *secondAfter;
    } cases[] = {
        {"", "", pressControlC, "0110000436", ""},
        {"", "", pressEscape, "", ""},
        {"011000004b", "", pressF10, "011000004b", "011000004c"},
        {"011000004b", "", pressEscape, "", ""},
        {"011000004b", "011000004c", pressF10, "011000004b", "011000004c"},
        {"011000004b", "0120000000", pressEscape, "011000004b", ""},
        {"", "0120000000", pressF9, "011000004b", "0120000000"},
        {"", "0120000000", pressEscape, "", "0120000000"},
    };
    start();
    int button = 1;
    for (const Case& c : cases) {
        strcpy(settings.hotkeys[4][0], c.first);
        strcpy(settings.hotkeys[4][1], c.second);
        on_tab_misc_update();
        clickAndCapture(4, button, c.script);
        EXPECT_STREQ(settings.hotkeys[4][0], c.firstAfter) << c.first << "|" << c.second;
        EXPECT_STREQ(settings.hotkeys[4][1], c.secondAfter) << c.first << "|" << c.second;
        std::string shown = getKeyNameString(c.firstAfter);
        shown += std::string(" / ") + getKeyNameString(c.secondAfter);
        EXPECT_EQ(cell(4, 1), shown);
        button = button % 3 + 1;  // left, middle and right all start a capture
    }
}

// Mouse clicks that reach the window while a capture runs (the button being
// captured, say) must not start another capture once it is over.
TEST_F(MiscTab, ClicksDuringACaptureStartNoOther) {
    start();
    User* pointer = &user;
    clickAndCapture(6, 1, [pointer](User& u) {
        u.key(F9, true).wait(100);
        pointer->button(1, true).button(1, false);
        u.wait(100).key(F9, false);
    });
    settle(300);
    EXPECT_STREQ(settings.hotkeys[6][0], "011000004b");
    EXPECT_STREQ(settings.hotkeys[6][1], "");
    EXPECT_EQ(cell(6, 1), "Kb0_F9 / Unassigned");
    EXPECT_FALSE(watchCursor());
}

}  // namespace
