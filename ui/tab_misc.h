// The "Misc" tab: the hot-key table and the miscellaneous start-up flags.
#pragma once

#include <gtk/gtk.h>

#include "settings/settings.h"

// Names and tooltips of the eleven hot keys (untranslated; shown through _()).
extern const char* const hotKeyName[HOTKEY_COUNT];
extern const char* const hotKeyTooltip[HOTKEY_COUNT];

// The tooltip of hot key h in the user's language; a hot key with a default
// names it on a second line, in the form the table shows.
const char* hotKeyTooltipText(int h);

// True for an event of the given server time that a hot-key capture took or
// is about to take: one from between the click on a row and the end of its
// capture, which the window must not act on as well.
bool tabMiscCaptureSaw(guint32 time);

// "<first> / <second>": the display names of both slots of hot key h; an
// empty slot shows "Unassigned" in the user's language.
const char* hotKeyValueText(int h);

G_BEGIN_DECLS

void on_tab_misc_init(void);    // adds the "Key" and "Value" columns of the hot-key table
void on_tab_misc_update(void);  // rebuilds the hot-key rows, sets the check buttons

// A click on a row shows "Awaiting input..." and the watch cursor; letting the
// button go captures into the row's first slot while it is empty, else into
// its second. Escape at a second capture that found it empty clears the first.
gboolean on_treeviewHotKeys_button_press_event(GtkWidget* view, GdkEventButton* event,
                                               gpointer data);
gboolean on_treeviewHotKeys_button_release_event(GtkWidget* view, GdkEventButton* event,
                                                 gpointer data);
gboolean on_treeviewHotKeys_key_press_event(GtkWidget* view, GdkEventKey* event, gpointer data);
gboolean on_treeviewHotKeys_key_release_event(GtkWidget* view, GdkEventKey* event, gpointer data);
// The tooltip becomes that of the row under the pointer (hover selection).
void on_treeviewHotKeys_cursor_changed(GtkTreeView* view, gpointer data);

// Each stores its button's state, 1 or 0, into its flag of settings.
void on_checkbuttonMainShowStatus_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainCoverOpened_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainCallDialogOnStart_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainEnableLogging_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainEnableDebugger_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainSaveDialogParameters_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainSaveSettingsOnExit_toggled(GtkToggleButton* button, gpointer data);

G_END_DECLS
