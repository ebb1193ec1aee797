// The CD list editor: the CD-ROM devices and image folders, edited in a
// modal window over the main window.
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

void on_windowEditor_build(void);   // adds the "Path" columns of both lists
void on_windowEditor_init(void);    // shows the editor and saves the snapshot Cancel returns to
void on_windowEditor_update(void);  // refills both lists from the catalogue

void on_buttonEditorOk_clicked(GtkButton* button, gpointer data);
// Also the editor's delete_event handler, hence the widget argument.
void on_buttonEditorCancel_clicked(GtkWidget* source, gpointer data);
void on_buttonEditorAddCdrom_clicked(GtkButton* button, gpointer data);
void on_buttonEditorRemoveCdrom_clicked(GtkButton* button, gpointer data);
void on_buttonEditorAddDirectory_clicked(GtkButton* button, gpointer data);
void on_buttonEditorRemoveDirectory_clicked(GtkButton* button, gpointer data);

G_END_DECLS
