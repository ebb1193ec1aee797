#include "ui/window_main.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "catalogue/gameids.h"
#include "containers/recently.h"
#include "settings/settingsfile.h"
#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/tab_about.h"
#include "ui/tab_main.h"
#include "ui/tab_misc.h"
#include "ui/ui.h"
#include "ui/window_editor.h"

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

namespace {

// Shows text (no markup) as an error over parent until the user closes it.
void runError(GtkWindow* parent, const char* text) {
    GtkWidget* message = gtk_message_dialog_new(
        parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", text);
    gtk_window_set_title(GTK_WINDOW(message), "discWren");
    gtk_dialog_run(GTK_DIALOG(message));
    gtk_widget_destroy(message);
}

}  // namespace

void windowMainReportSaveFailure(GtkWindow* parent) {
    char* folder = g_get_current_dir();
    gchar* text =
        g_strdup_printf(_("The settings could not be saved to \"%s/%s\": %s."), folder,
                        &SETTINGS_FILE_NAME[2] /* without "./" */, g_strerror(settingsWriteError));
    g_free(folder);
    runError(parent, text);
    g_free(text);
}

void windowMainReportUnsavable(GtkWindow* parent, const char* name) {
    gchar* shown = g_filename_display_name(name);
    gchar* text = g_strdup_printf(
        _("The name \"%s\" cannot be saved in the settings file: it contains a line break, or "
          "both kinds of quotation marks together with ';', '#', or a blank, quote or backslash "
          "at one end."),
        shown);
    g_free(shown);
    runError(parent, text);
    g_free(text);
}

extern "C" {

void on_windowMain_build(void) {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    if (!view) return;
    // Fixed widths and row heights: refilling ten thousand rows then measures
    // no row at all, and the columns stay where the user dragged them.
    static const char* const titles[] = {N_("Title"), N_("Path"), N_("Game ID")};
    static const int widths[] = {260, 320, 90};
    for (int column = 0; column < 3; column++) {
        GtkTreeViewColumn* viewColumn = gtk_tree_view_column_new_with_attributes(
            _(titles[column]), gtk_cell_renderer_text_new(), "text", column, nullptr);
        gtk_tree_view_column_set_sizing(viewColumn, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(viewColumn, widths[column]);
        gtk_tree_view_column_set_resizable(viewColumn, TRUE);
        gtk_tree_view_append_column(view, viewColumn);
    }
    gtk_tree_view_set_fixed_height_mode(view, TRUE);
    // Grid lines of 8-pixel dashes: the default one-pixel dots are drawn dot
    // by dot and cost more than the rest of a redraw of the list.
    gtk_widget_set_name(GTK_WIDGET(view), "treeviewMainCDList");
    gtk_rc_parse_string(
        "style \"discwren-cdlist\" { GtkTreeView::grid-line-pattern = \"\\10\\2\" }\n"
        "widget \"*.treeviewMainCDList\" style \"discwren-cdlist\"\n");
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

void on_windowMain_shutdown(void) {
    tabMainMd5Shutdown();
    tabMainShutdown();
    // The list no longer listens: the IDs and their readers can go.
    gameidsStop();
    // What init and the tabs made at run time; the windows themselves stay.
    for (GdkPixbuf** pixbuf : {&gdkpixbufpsxIco, &gdkpixbufclear, &gdkpixbufflags[0]}) {
        if (*pixbuf) g_object_unref(*pixbuf);
        *pixbuf = nullptr;
    }
    if (busycursor) gdk_cursor_unref(busycursor);
    busycursor = nullptr;
    if (recentlyMenu) {
        gtk_widget_destroy(recentlyMenu);
        g_object_unref(recentlyMenu);
        recentlyMenu = nullptr;
    }
}

void on_buttonMainOk_clicked(GtkWidget*, gpointer) {
    // A current disc the file cannot hold would be left out of it unseen.
    if (!settingsCanHold(settings.current)) {
        windowMainReportUnsavable(windowMain, settings.current);
        return;
    }
    recentlyInsert(strdup(settings.current));
    if (settings.savedialogparameters) {
        gtk_window_get_position(windowMain, &settings.dialogx, &settings.dialogy);
        gtk_window_get_size(windowMain, &settings.dialogw, &settings.dialogh);
    }
    settingsWrite(&settings);
    if (settingsWriteError) {
        windowMainReportSaveFailure(windowMain);
        return;
    }
    gtk_main_quit();
}

void on_buttonMainCancel_clicked(GtkButton*, gpointer) { gtk_main_quit(); }

void on_buttonMainEditCDList_clicked(GtkButton*, gpointer) { on_windowEditor_init(); }

void on_buttonMainUpdate_clicked(GtkButton*, gpointer) { tabMainUpdateRereadingAll(); }

void on_buttonMainGetID_clicked(GtkButton*, gpointer) { tabMainGetId(); }

}  // extern "C"
