#include "ui/tab_misc.h"

#include <gdk/gdkx.h>

#include <cstdio>
#include <cstring>

#include "input/keycombo.h"
#include "input/keysystem.h"
#include "ui/i18n.h"
#include "ui/ui.h"
#include "ui/widget_fields.h"

const char* const hotKeyName[HOTKEY_COUNT] = {
    N_("Configuration dialog"), N_("Show status"),          N_("Toggle CDXA"),
    N_("Toggle CDDA"),          N_("Decrease CDXA volume"), N_("Increase CDXA volume"),
    N_("Decrease CDDA volume"), N_("Increase CDDA volume"), N_("Open cover"),
    N_("Close cover"),          N_("CD swapping"),
};

const char* const hotKeyTooltip[HOTKEY_COUNT] = {
    N_("Set the button to call the plugin configuration dialog in-game."),
    N_("Set the button to toggle the in-game plugin status display."),
    N_("Set the button for enable/disable CDXA playing in-game."),
    N_("Set the button for enable/disable CDDA playing in-game."),
    N_("Set the button for decreasing CDXA volume in-game."),
    N_("Set the button for increasing CDXA volume in-game."),
    N_("Set the button for decreasing CDDA volume in-game."),
    N_("Set the button for increasing CDDA volume in-game."),
    N_("Set a button for opening the CD tray cover in-game."),
    N_("Set a button for closing the CD tray cover in-game."),
    N_("Use this button to change a CD.\n- virtual drive cover opens.\n- then you choose a new "
       "disc.\n- and the cover closes."),
};

namespace {

// Server time at which the last capture ended. Button events from before it
// were queued while the capture held the main loop (the mouse button just
// captured, say) and must not start another capture.
guint32 captureEndTime = 0;
// The row that shows "Awaiting input..." since the last press, -1 for none.
int awaitingRow = -1;

bool heldDuringCapture(const GdkEventButton* event) {
    return event && event->time != GDK_CURRENT_TIME && captureEndTime != 0 &&
           event->time <= captureEndTime;
}

// liststoreHotKeys, the model of the hot-key table.
GtkListStore* hotKeyStore() { return uiListStore("liststoreHotKeys"); }

// The selected row and its hot-key number, or -1 without a selection.
int selectedHotKey(GtkTreeView* view, GtkTreeIter* iter) {
    int h = uiSelectedRow(view, iter);
    return h < HOTKEY_COUNT ? h : -1;
}

void setRow(GtkTreeIter* iter, int h, const char* value) {
    gtk_list_store_set(hotKeyStore(), iter, 0, _(hotKeyName[h]), 1, value, -1);
}

void setMainCursor(GdkCursor* cursor) {
    if (!windowMain) return;
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(windowMain));
    if (window) gdk_window_set_cursor(window, cursor);
}

}  // namespace

namespace {

// The name a slot shows. An empty slot is told by its stored text, and only
// its shown word is translated: the file keeps storing "".
const char* slotName(const char* text) {
    return keyTextEmpty(text) ? _("Unassigned") : getKeyNameString(text);
}

}  // namespace

const char* hotKeyTooltipText(int h) {
    static char tooltip[1024];
    // The default is read from the settings' own defaults, so that the
    // tooltip cannot name another one.
    static Settings defaults;
    static bool loaded = false;
    if (!loaded) {
        settingsLoadDefault(&defaults);
        loaded = true;
    }
    const char* slot = defaults.hotkeys[h][0];
    if (keyTextEmpty(slot))
        snprintf(tooltip, sizeof tooltip, "%s", _(hotKeyTooltip[h]));
    else
        snprintf(tooltip, sizeof tooltip, _("%s\nDefault: %s"), _(hotKeyTooltip[h]),
                 getKeyNameString(slot));
    return tooltip;
}

bool tabMiscCaptureSaw(guint32 time) {
    return awaitingRow >= 0 ||
           (time != GDK_CURRENT_TIME && captureEndTime != 0 && time <= captureEndTime);
}

const char* hotKeyValueText(int h) {
    static char value[1024];
    // Both names share one buffer: copy the first before asking for the second.
    snprintf(value, sizeof value, "%s / ", slotName(hotKey[h]));
    size_t used = strlen(value);
    snprintf(value + used, sizeof value - used, "%s", slotName(hotKey[h + HOTKEY_COUNT]));
    return value;
}

extern "C" {

void on_tab_misc_init(void) {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewHotKeys"));
    if (!view) return;
    static const char* const titles[] = {"Key", "Value"};
    for (int column = 0; column < 2; column++) {
        gtk_tree_view_append_column(
            view, gtk_tree_view_column_new_with_attributes(
                      titles[column], gtk_cell_renderer_text_new(), "text", column, nullptr));
    }
}

void on_tab_misc_update(void) {
    GtkListStore* store = hotKeyStore();
    if (store) {
        gtk_list_store_clear(store);
        for (int h = 0; h < HOTKEY_COUNT; h++) {
            GtkTreeIter iter;
            gtk_list_store_append(store, &iter);
            setRow(&iter, h, hotKeyValueText(h));
        }
    }
    widgetFieldsShow(WidgetPage::Misc);
}

gboolean on_treeviewHotKeys_button_press_event(GtkWidget* view, GdkEventButton* event, gpointer) {
    if (heldDuringCapture(event)) return TRUE;
    gtk_widget_grab_focus(view);
    GtkTreeIter iter;
    int h = selectedHotKey(GTK_TREE_VIEW(view), &iter);
    if (h < 0) return FALSE;
    setRow(&iter, h, _("Awaiting input..."));
    awaitingRow = h;
    setMainCursor(busycursor);
    return FALSE;
}

gboolean on_treeviewHotKeys_button_release_event(GtkWidget* view, GdkEventButton* event, gpointer) {
    if (heldDuringCapture(event)) return TRUE;
    GtkTreeIter iter;
    int h = selectedHotKey(GTK_TREE_VIEW(view), &iter);
    // The pointer left the pressed row before the button was let go: that row
    // shows its value again.
    if (awaitingRow >= 0 && awaitingRow != h) {
        GtkTreeIter pressed;
        if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(hotKeyStore()), &pressed, nullptr,
                                          awaitingRow))
            setRow(&pressed, awaitingRow, hotKeyValueText(awaitingRow));
        setMainCursor(nullptr);
    }
    awaitingRow = -1;
    if (h < 0) return FALSE;

    // The capture holds the main loop: draw "Awaiting input..." and the watch
    // cursor first, so that the user sees what is expected of them.
    gdk_window_process_all_updates();
    gdk_flush();

    keySystemCaptureHotKey(hotKey[h], hotKey[h + HOTKEY_COUNT]);

    // The server's clock now; a toplevel window listens for the property
    // change through which GDK reads it.
    GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(view));
    if (window) captureEndTime = gdk_x11_get_server_time(window);
    setRow(&iter, h, hotKeyValueText(h));
    setMainCursor(nullptr);
    return FALSE;
}

gboolean on_treeviewHotKeys_key_press_event(GtkWidget*, GdkEventKey*, gpointer) { return FALSE; }

gboolean on_treeviewHotKeys_key_release_event(GtkWidget*, GdkEventKey*, gpointer) { return FALSE; }

void on_treeviewHotKeys_cursor_changed(GtkTreeView* view, gpointer) {
    GtkTreeIter iter;
    int h = selectedHotKey(view, &iter);
    if (h >= 0) gtk_widget_set_tooltip_text(GTK_WIDGET(view), hotKeyTooltipText(h));
}

void on_checkbuttonMainShowStatus_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainCoverOpened_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainCallDialogOnStart_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainEnableLogging_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainEnableDebugger_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainSaveDialogParameters_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainSaveSettingsOnExit_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}

}  // extern "C"
