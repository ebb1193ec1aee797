// Globals of the user interface and the embedded UI definition.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

extern GtkBuilder* builder;      // every object of the definition, for the whole run
extern GtkWindow* windowMain;    // set when the main window is first shown
extern GtkWindow* windowEditor;  // set when the CD list editor is first shown
extern GtkWidget* widget;        // scratch: the widget a function looked up last
extern GdkPixbuf* gdkpixbufpsxIco;
extern GdkPixbuf* gdkpixbufclear;
extern GdkPixbuf* gdkpixbufflags[4];  // only the first is used: the About flag
extern GdkCursor* busycursor;
extern int32_t desktopWidth;  // root window of the first screen, read by the CD-ROM tab update
extern int32_t desktopHeight;

// The UI definition carried inside the program, and every handler it names.
extern const char uiDefinition[];
extern const unsigned uiDefinitionLength;
extern const void* const uiHandlerAddresses[];
extern const char* const uiHandlerNames[];
extern const int uiHandlerCount;
// The ids of its top-level objects, in document order.
extern const char* const uiTopLevelIds[];
extern const int uiTopLevelCount;

// Creates the global builder with the program's translation domain, loads the
// definition into it, all but the CD list editor (which uiLoadEditor loads on
// first use, so that start-up does not build it), and connects the handlers
// by name. Returns the builder, or nullptr when none could be created; a
// definition that does not load is reported through error (which may be
// nullptr) and leaves what did load.
GtkBuilder* uiCreateBuilder(GError** error);
// Loads the editor's objects and connects their handlers, once; true when
// they are there.
bool uiLoadEditor(GError** error);

// Looks up an object of the definition by id, or nullptr.
GtkWidget* uiWidget(const char* id);

// Text the toolkit can draw: valid UTF-8 as it is, any other bytes in the
// readable form GLib gives file names. Returns text itself or *scratch's data;
// the caller frees *scratch (nullptr at first) with g_free.
const char* uiDisplayable(const char* text, gchar** scratch);

// The list store of the definition with this id, or nullptr.
GtkListStore* uiListStore(const char* id);
// The tree model (a list store or another) of the definition with this id, or nullptr.
GtkTreeModel* uiTreeModel(const char* id);

// The index of view's selected row, or -1 for a null view or no selection;
// iter (may be nullptr) is set to the row when there is one.
int uiSelectedRow(GtkTreeView* view, GtkTreeIter* iter = nullptr);
