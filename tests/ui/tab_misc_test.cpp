// The Misc tab on the real UI definition: the hot-key table captured through
// real clicks and keys on the X server, and the check buttons of "Other".
#include "ui/tab_misc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>
#include <string>

#include "input/inputdriver.h"
#include "input/keycombo.h"
#include "settings/settings.h"
#include "support/gui.h"
#include "support/user.h"
#include "ui/ui.h"

using testsupport::CaptureScript;
using testsupport::Dialog;
using testsupport::drain;
using testsupport::ScratchDir;
using testsupport::User;
using testsupport::waitFor;
using namespace testsupport::keycode;

namespace {

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
        waitFor([this] { return testsupport::shownOnScreen(GTK_WIDGET(view())); },
                "the hot-key table on screen");
    }
    GtkTreeView* view() { return GTK_TREE_VIEW(dialog.widget("treeviewHotKeys")); }

    std::string cell(int row, int column) {
        return testsupport::cell("liststoreHotKeys", row, column);
    }

    // Puts the pointer on the middle of a row of the hot-key table, once the
    // rows are laid out after a rebuild, and lets the table see it.
    void pointAt(int row) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        GdkRectangle area = {};
        waitFor(
            [&] {
                gtk_tree_view_get_background_area(view(), path, nullptr, &area);
                return area.height > 0;
            },
            "the hot-key rows laid out");
        gtk_tree_path_free(path);
        int x, y;
        gdk_window_get_origin(gtk_tree_view_get_bin_window(view()), &x, &y);
        user.moveTo(x + area.x + 40, y + area.y + area.height / 2);
        drain();
    }

    bool watchCursor() {
        GdkCursor* cursor = gdk_window_get_cursor(gtk_widget_get_window(GTK_WIDGET(windowMain)));
        return cursor && gdk_cursor_get_cursor_type(cursor) == GDK_WATCH;
    }

    // Clicks a row with a mouse button; the capture that runs in the release
    // handler takes turns with the script. Whatever the script queued is
    // handled before the capture's turns end, so a second capture would fail.
    void clickAndCapture(int row, int button, const std::function<void(User&)>& script) {
        pointAt(row);
        user.button(button, true);
        drain();
        EXPECT_EQ(cell(row, 1), "Awaiting input...");
        EXPECT_TRUE(watchCursor());
        {
            CaptureScript run(script);
            user.button(button, false);
            drain();  // the capture, then what reached the window meanwhile
            drain();
        }
        EXPECT_FALSE(watchCursor());
    }

    ScratchDir devices;
    Dialog dialog;
    User user;
};

void pressF9(User& u) { u.tap(F9); }
void pressControlC(User& u) { u.down(CONTROL_L).step().tap(KEY_C).up(CONTROL_L); }
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

// Each hot key's tooltip names its real default, in the table's form, or none;
// whatever the user assigned since.
TEST_F(MiscTab, TheTooltipFollowsThePointer) {
    start();
    strcpy(settings.hotkeys[0][0], "011000004c");
    on_tab_misc_update();
    struct Case {
        int row;
        const char* tip;
    } cases[] = {
        {3, "Set the button for enable/disable CDDA playing in-game."},
        {10,
         "Use this button to change a CD.\n- virtual drive cover opens.\n- then you choose a new "
         "disc.\n- and the cover closes.\nDefault: Kb0_F11"},
        {0,
         "Set the button to call the plugin configuration dialog in-game.\nDefault: "
         "Kb0_Control_Left + Alt_Left + 'C'"},
        {8, "Set a button for opening the CD tray cover in-game.\nDefault: Kb0_F9"},
        {1, "Set the button to toggle the in-game plugin status display."},
    };
    for (const Case& c : cases) {
        pointAt(c.row);
        EXPECT_EQ(testsupport::tooltipOf(GTK_WIDGET(view())), c.tip) << c.row;
    }
}

// Every tooltip of the definition says what its control does and names no
// default of its own: the hot keys' tooltips name theirs (above).
TEST_F(MiscTab, TheDefinitionsTooltipsSayWhatTheirControlsDo) {
    start();
    ASSERT_TRUE(uiLoadEditor(nullptr));
    GSList* objects = gtk_builder_get_objects(builder);
    int walked = 0;
    for (GSList* object = objects; object; object = object->next) {
        gchar* tip = GTK_IS_WIDGET(object->data)
                         ? gtk_widget_get_tooltip_text(GTK_WIDGET(object->data))
                         : nullptr;
        if (!tip) continue;
        walked++;
        const char* whose = gtk_buildable_get_name(GTK_BUILDABLE(object->data));
        EXPECT_EQ(std::string(tip).find("FIXME"), std::string::npos) << whose;
        EXPECT_FALSE(std::regex_search(tip, std::regex("by default|default:", std::regex::icase)))
            << whose << ": " << tip;
        g_free(tip);
    }
    g_slist_free(objects);
    EXPECT_GE(walked, 20);
}

// Repeated clicks: the first slot while it is empty, else the second; Escape
// at the second capture of a half-assigned hot key unassigns it, and never
// reaches the window as its CANCEL.
TEST_F(MiscTab, RepeatedClicksFillTheSlotsAndEscapeClears) {
    struct Case {
        const char *first, *second;
        void (*script)(User&);
        const char *firstAfter, *secondAfter, *shown;
    } cases[] = {
        {"", "", pressControlC, "0110000436", "", "Kb0_Control_Left + 'C' / Unassigned"},
        {"", "", pressEscape, "", "", "Unassigned / Unassigned"},
        {"011000004b", "", pressF10, "011000004b", "011000004c", "Kb0_F9 / Kb0_F10"},
        {"011000004b", "", pressEscape, "", "", "Unassigned / Unassigned"},
        {"011000004b", "011000004c", pressF10, "011000004b", "011000004c", "Kb0_F9 / Kb0_F10"},
        {"011000004b", "0120000000", pressEscape, "011000004b", "", "Kb0_F9 / Unassigned"},
        {"", "0120000000", pressF9, "011000004b", "0120000000", "Kb0_F9 / Ms0_B0"},
        {"", "0120000000", pressEscape, "", "0120000000", "Unassigned / Ms0_B0"},
    };
    start();
    testsupport::focusWindow(windowMain);
    int cancels = 0;
    g_signal_connect_swapped(dialog.widget("buttonMainCancel"), "clicked",
                             G_CALLBACK(+[](int* count) { ++*count; }), &cancels);
    int button = 1;
    for (const Case& c : cases) {
        strcpy(settings.hotkeys[4][0], c.first);
        strcpy(settings.hotkeys[4][1], c.second);
        on_tab_misc_update();
        clickAndCapture(4, button, c.script);
        EXPECT_STREQ(settings.hotkeys[4][0], c.firstAfter) << c.first << "|" << c.second;
        EXPECT_STREQ(settings.hotkeys[4][1], c.secondAfter) << c.first << "|" << c.second;
        EXPECT_EQ(cell(4, 1), c.shown);
        button = button % 3 + 1;  // left, middle and right all start a capture
    }
    EXPECT_EQ(cancels, 0);
}

// Mouse clicks that reach the window while a capture runs (the button being
// captured, say) must not start another capture once it is over.
TEST_F(MiscTab, ClicksDuringACaptureStartNoOther) {
    start();
    User* pointer = &user;
    clickAndCapture(6, 1, [pointer](User& u) {
        u.down(F9).step();
        pointer->button(1, true).button(1, false);
        u.step().up(F9);
    });
    EXPECT_STREQ(settings.hotkeys[6][0], "011000004b");
    EXPECT_STREQ(settings.hotkeys[6][1], "");
    EXPECT_EQ(cell(6, 1), "Kb0_F9 / Unassigned");
    EXPECT_FALSE(watchCursor());
}

}  // namespace
