#include "ui/window_editor.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdlists.h"
#include "catalogue/cdsearch.h"
#include "settings/settingsfile.h"
#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/ui.h"
#include "ui/window_main.h"
#include "util/path.h"

namespace {

// Where the choosers open next; windowEditorStart sets them back.
char lastDeviceFolder[4096] = "/dev/";
char lastDirectoryFolder[4096] = "/";
GdkPixbuf* editorIcon;

// Both lists as they were when the editor opened: what Cancel returns to.
// Kept in memory, so that opening the editor leaves the settings file alone
// and the main window's CANCEL still discards every change.
CdLists snapshot;

void appendRow(GtkListStore* list, const char* text) {
    GtkTreeIter iter;
    gchar* shown = nullptr;
    gtk_list_store_insert_with_values(list, &iter, -1, 0, uiDisplayable(text, &shown), -1);
    g_free(shown);
}

// Runs a chooser in folder; the chosen local path, or "" when the user
// cancelled or chose nothing local. The result fits a 4096-byte buffer.
std::string choose(const char* title, GtkFileChooserAction action, const char* folder) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(title, windowEditor, action, GTK_STOCK_CANCEL,
                                                     GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN,
                                                     GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
    std::string chosen;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (name && strlen(name) < 4096) chosen = name;
        g_free(name);
    }
    gtk_widget_destroy(chooser);
    return chosen;
}

// The index of the selected row of a list, or -1 without one. Rows follow
// the catalogue's list order, whose entries are unique, so the index names
// the entry exactly, also where the row shows a readable form of its bytes.
int selectedRow(const char* viewId) { return uiSelectedRow(GTK_TREE_VIEW(uiWidget(viewId))); }

// A name the settings file cannot hold stays out of the lists, which the file
// would otherwise lose without a word; the user is told which and why.
bool refuseUnsavable(const char* name) {
    if (settingsCanHold(name)) return false;
    windowMainReportUnsavable(windowEditor, name);
    return true;
}

}  // namespace

void windowEditorStart(void) {
    snprintf(lastDeviceFolder, sizeof lastDeviceFolder, "/dev/");
    snprintf(lastDirectoryFolder, sizeof lastDirectoryFolder, "/");
}

WindowPlacement windowEditorPlacement(int mainX, int mainY, int requestWidth, int requestHeight,
                                      int desktopW, int desktopH) {
    WindowPlacement place;
    // Over the main window's top-left corner, at most as large as the desktop.
    place.x = mainX;
    place.y = mainY;
    place.width = static_cast<int>(requestWidth * 1.6 + 16);
    place.height = 2 * requestHeight + 16;
    if (place.width > desktopW) place.width = desktopW;
    if (place.height > desktopH) place.height = desktopH;
    return place;
}

extern "C" {

void on_windowEditor_build(void) {
    for (const char* id : {"treeviewEditorCdroms", "treeviewEditorDirectories"}) {
        GtkTreeView* view = GTK_TREE_VIEW(uiWidget(id));
        if (!view) continue;
        gtk_tree_view_append_column(
            view, gtk_tree_view_column_new_with_attributes(_("Path"), gtk_cell_renderer_text_new(),
                                                           "text", 0, nullptr));
    }
}

void on_windowEditor_init(void) {
    // Built on first use: start-up does not pay for a window most runs never open.
    if (!uiWidget("windowEditor")) {
        if (!uiLoadEditor(nullptr)) return;
        on_windowEditor_build();
    }
    windowEditor = GTK_WINDOW(uiWidget("windowEditor"));
    if (!windowEditor) return;
    widget = GTK_WIDGET(windowEditor);
    gtk_window_set_transient_for(windowEditor, windowMain);
    gtk_widget_show(widget);
    gdk_window_set_decorations(gtk_widget_get_window(widget), GDK_DECOR_ALL);
    if (editorIcon) g_object_unref(editorIcon);
    editorIcon = imagesAppIcon();
    gtk_window_set_icon(windowEditor, editorIcon);

    on_windowEditor_update();

    int x = 0, y = 0;
    if (windowMain) gtk_window_get_position(windowMain, &x, &y);
    GtkRequisition request;
    gtk_widget_size_request(uiWidget("tableEditor"), &request);
    WindowPlacement place =
        windowEditorPlacement(x, y, request.width, request.height, desktopWidth, desktopHeight);
    if (place.width > 0 && place.height > 0)
        gtk_window_resize(windowEditor, place.width, place.height);
    gtk_window_move(windowEditor, place.x, place.y);

    snapshot = cdlistsSnapshot();
}

void on_windowEditor_shutdown(void) {
    if (editorIcon) g_object_unref(editorIcon);
    editorIcon = nullptr;
}

void on_windowEditor_update(void) {
    GtkListStore* devices = uiListStore("liststoreEditorCdroms");
    GtkListStore* directories = uiListStore("liststoreEditorDirectories");
    if (!devices || !directories) return;
    gtk_list_store_clear(devices);
    for (int i = 0; i < cdsearchDeviceQuantity(); i++)
        appendRow(devices, cdFullPath(cdsearchDeviceGet(i)).c_str());
    gtk_list_store_clear(directories);
    for (int i = 0; i < cdsearchDirectoryQuantity(); i++)
        appendRow(directories, cdsearchDirectoryGet(i));
}

void on_buttonEditorOk_clicked(GtkButton*, gpointer) {
    settingsWrite(&settings);
    if (settingsWriteError) {
        windowMainReportSaveFailure(windowEditor);
        return;
    }
    if (windowEditor) gtk_widget_hide(GTK_WIDGET(windowEditor));
}

void on_buttonEditorCancel_clicked(GtkWidget*, gpointer) {
    cdlistsRestore(snapshot);
    if (windowEditor) gtk_widget_hide(GTK_WIDGET(windowEditor));
}

void on_buttonEditorAddCdrom_clicked(GtkButton*, gpointer) {
    std::string chosen = choose(_("Select a File"), GTK_FILE_CHOOSER_ACTION_OPEN, lastDeviceFolder);
    if (chosen.empty()) return;
    char device[4096];
    snprintf(device, sizeof device, "%s", chosen.c_str());
    removeSlashFromDir(device);
    // The next chooser opens where this one was, whether the device is added or not.
    snprintf(lastDeviceFolder, sizeof lastDeviceFolder, "%s", device);
    reduceToPath(lastDeviceFolder);
    if (refuseUnsavable(device)) return;
    cdsearchAddDevice(device);
    on_windowEditor_update();
}

void on_buttonEditorRemoveCdrom_clicked(GtkButton*, gpointer) {
    int row = selectedRow("treeviewEditorCdroms");
    if (row < 0 || row >= cdsearchDeviceQuantity()) return;
    cdsearchRemoveDevice(row);
    on_windowEditor_update();
}

void on_buttonEditorAddDirectory_clicked(GtkButton*, gpointer) {
    std::string chosen =
        choose(_("Select a Directory"), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, lastDirectoryFolder);
    // Room for the '/' that is appended.
    if (chosen.empty() || chosen.size() >= sizeof lastDirectoryFolder - 1) return;
    snprintf(lastDirectoryFolder, sizeof lastDirectoryFolder, "%s", chosen.c_str());
    addSlashToDir(lastDirectoryFolder);
    if (refuseUnsavable(lastDirectoryFolder)) return;
    cdsearchAddDirectory(lastDirectoryFolder);
    on_windowEditor_update();
}

void on_buttonEditorRemoveDirectory_clicked(GtkButton*, gpointer) {
    int row = selectedRow("treeviewEditorDirectories");
    if (row < 0 || row >= cdsearchDirectoryQuantity()) return;
    cdsearchRemoveDirectory(row);
    on_windowEditor_update();
}

}  // extern "C"
