#include "ui/window_main.h"

#include <cstdlib>
#include <cstring>

#include "containers/recently.h"
#include "settings/settingsfile.h"
#include "ui/images.h"
#include "ui/tab_about.h"
#include "ui/tab_main.h"
#include "ui/tab_misc.h"
#include "ui/ui.h"

namespace {

void placeWindow() {
    if (settings.savedialogparameters) {
        // The stored geometry is applied as it is, even off the desktop.
        gtk_window_move(windowMain, settings.dialogx, settings.dialogy);
        gtk_window_resize(windowMain, settings.dialogw, settings.dialogh);
        return;
    }
    GtkRequisition request;
    gtk_widget_size_request(uiWidget("tableMain"), &request);
    WindowPlacement place =
        windowMainPlacement(request.width, request.height, desktopWidth, desktopHeight);
    gtk_window_resize(windowMain, place.width, place.height);
    gtk_window_move(windowMain, place.x, place.y);
}

// Tells the user that OK could not save; the dialog then stays open so that
// nothing is lost without notice.
void reportSaveFailure() {
    char* folder = g_get_current_dir();
    GtkWidget* message = gtk_message_dialog_new(
        windowMain, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "The settings could not be saved to \"%s/%s\": %s.",
        folder, SETTINGS_FILE_NAME + 2 /* without "./" */, g_strerror(settingsWriteError));
    g_free(folder);
    gtk_window_set_title(GTK_WINDOW(message), "discWren");
    gtk_dialog_run(GTK_DIALOG(message));
    gtk_widget_destroy(message);
}

}  // namespace

WindowPlacement windowMainPlacement(int requestWidth, int requestHeight, int desktopW,
                                    int desktopH) {
    WindowPlacement place;
    // Room for the scroll bars and the tabs' own growth, never beyond the desktop.
    place.width = requestWidth + 32;
    if (place.width > desktopW) place.width = desktopW;
    place.height = static_cast<int>(requestHeight * 1.4 + 16);
    if (place.height > desktopH) place.height = desktopH;
    place.x = desktopW / 2 - place.width / 2;
    place.y = desktopH / 2 - place.height / 2;
    return place;
}

extern "C" {

void on_windowMain_build(void) {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    if (!view) return;
    static const char* const titles[] = {"Title", "Path", "Game ID"};
    for (int column = 0; column < 3; column++) {
        gtk_tree_view_append_column(
            view, gtk_tree_view_column_new_with_attributes(
                      titles[column], gtk_cell_renderer_text_new(), "text", column, nullptr));
    }
}

void on_windowMain_init(void) {
    windowMain = GTK_WINDOW(uiWidget("windowMain"));
    widget = GTK_WIDGET(windowMain);
    gtk_widget_show(widget);
    gdk_window_set_decorations(gtk_widget_get_window(widget), GDK_DECOR_ALL);
    gdkpixbufpsxIco = imagesAppIcon();
    gtk_window_set_icon(windowMain, gdkpixbufpsxIco);
    busycursor = gdk_cursor_new(GDK_WATCH);

    on_tab_main_init();
    on_tab_misc_init();
    on_tab_readme_init();
    on_tab_about_init();

    on_windowMain_update();
    placeWindow();
}

void on_windowMain_update(void) {
    on_tab_main_update();
    on_tab_misc_update();
    on_tab_readme_update();
    on_tab_about_update();
}

void on_windowMain_shutdown(void) {}

void on_buttonMainOk_clicked(GtkWidget*, gpointer) {
    recentlyInsert(strdup(settings.current));
    if (settings.savedialogparameters) {
        gtk_window_get_position(windowMain, &settings.dialogx, &settings.dialogy);
        gtk_window_get_size(windowMain, &settings.dialogw, &settings.dialogh);
    }
    settingsWrite(&settings);
    if (settingsWriteError) {
        reportSaveFailure();
        return;
    }
    gtk_main_quit();
}

void on_buttonMainCancel_clicked(GtkButton*, gpointer) { gtk_main_quit(); }

void on_buttonMainUpdate_clicked(GtkButton*, gpointer) { on_tab_main_update(); }

void on_buttonMainGetID_clicked(GtkButton*, gpointer) {}

}  // extern "C"
