// The CD list editor: the CD-ROM devices and image folders, edited in a
// modal window over the main window.
#pragma once

#include <gtk/gtk.h>

#include "ui/window_main.h"

// Size and position of the editor: over the main window's top-left corner
// (mainX, mainY), its contents' request widened and heightened for the lists,
// at most the desktop's size. A width or height of 0 or less leaves the size alone.
WindowPlacement windowEditorPlacement(int mainX, int mainY, int requestWidth, int requestHeight,
                                      int desktopWidth, int desktopHeight);

// Sends the choosers back to their first folders ("/dev/" and "/"); run at
// each start of the UI, so that nothing of an earlier run carries over.
void windowEditorStart(void);

G_BEGIN_DECLS

void on_windowEditor_build(void);     // adds the "Path" columns of both lists, once loaded
void on_windowEditor_init(void);      // shows the editor; keeps the lists Cancel returns to
void on_windowEditor_update(void);    // refills both lists from the catalogue
void on_windowEditor_shutdown(void);  // releases the editor's icon

void on_buttonEditorOk_clicked(GtkButton* button, gpointer data);
// Also the editor's delete_event handler, hence the widget argument.
void on_buttonEditorCancel_clicked(GtkWidget* source, gpointer data);
void on_buttonEditorAddCdrom_clicked(GtkButton* button, gpointer data);
void on_buttonEditorRemoveCdrom_clicked(GtkButton* button, gpointer data);
void on_buttonEditorAddDirectory_clicked(GtkButton* button, gpointer data);
void on_buttonEditorRemoveDirectory_clicked(GtkButton* button, gpointer data);

G_END_DECLS
