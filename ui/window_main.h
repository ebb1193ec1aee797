// The main window: its frame, OK and CANCEL, and the buttons of the CD
// selection page that act on the whole window.
#pragma once

#include <gtk/gtk.h>

// Size and position of the main window when the stored geometry is not used:
// the contents' requested size plus a margin, kept within the desktop, centred.
struct WindowPlacement {
    int x, y, width, height;
};
WindowPlacement windowMainPlacement(int requestWidth, int requestHeight, int desktopWidth,
                                    int desktopHeight);

// Tells the user, in a modal message over parent, that the settings file
// could not be written (settingsWriteError says why); the caller stays open so
// that nothing is lost without notice.
void windowMainReportSaveFailure(GtkWindow* parent);

// Tells the user, in a modal message over parent, that name cannot be saved in
// the settings file and why; the caller then keeps it out of what it saves.
void windowMainReportUnsavable(GtkWindow* parent, const char* name);

G_BEGIN_DECLS

void on_windowMain_build(void);
void on_windowMain_init(void);
void on_windowMain_update(void);
void on_windowMain_shutdown(void);  // releases the icons, the cursor and the recently opened menu

// OK also serves the CD list's row activation and the recently opened menu;
// it ignores its arguments.
void on_buttonMainOk_clicked(GtkWidget* source, gpointer data);
// Escape alone, when neither a popup nor the focus widget took it, clicks the
// window's CANCEL button (cancel), as a dialog's Escape does; never the
// Escape of a hot-key capture.
gboolean on_window_key_press_event(GtkWidget* window, GdkEventKey* event, gpointer cancel);
void on_buttonMainCancel_clicked(GtkButton* button, gpointer data);
void on_buttonMainEditCDList_clicked(GtkButton* button, gpointer data);
void on_buttonMainUpdate_clicked(GtkButton* button, gpointer data);
void on_buttonMainGetID_clicked(GtkButton* button, gpointer data);

G_END_DECLS
