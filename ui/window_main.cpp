#include "ui/window_main.h"

#include <gdk/gdkkeysyms.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "catalogue/cdsearch.h"
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

// The title a row shows: the no-disc entry's in the user's language, while
// the list and the settings file keep its stored name.
const char* shownTitle(const char* title, const char* path) {
    if (title && path && !path[0] && strcmp(title, noCdName) == 0) return _("No CD (bios shell)");
    return title ? title : "";
}

void showTitle(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
               gpointer) {
    gchar *title = nullptr, *path = nullptr;
    gtk_tree_model_get(model, iter, CDLIST_TITLE, &title, CDLIST_PATH, &path, -1);
    g_object_set(cell, "text", shownTitle(title, path), nullptr);
    g_free(title);
    g_free(path);
}

// The whole title or path of the cell under the pointer, which the column
// may show cut, or why the disc of a marked Game ID cell cannot be read.
gboolean showWholeCell(GtkWidget* widget, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip,
                       gpointer) {
    GtkTreeView* view = GTK_TREE_VIEW(widget);
    GtkTreeModel* model = nullptr;
    GtkTreePath* path = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_view_get_tooltip_context(view, &x, &y, keyboard, &model, &path, &iter))
        return FALSE;
    GtkTreeViewColumn* column = gtk_tree_view_get_column(view, CDLIST_TITLE);
    if (!keyboard) gtk_tree_view_get_path_at_pos(view, x, y, nullptr, &column, nullptr, nullptr);
    int shown = -1;
    for (int i = CDLIST_TITLE; i <= CDLIST_GAMEID; i++)
        if (column && gtk_tree_view_get_column(view, i) == column) shown = i;
    gchar *title = nullptr, *folder = nullptr, *full = nullptr;
    gtk_tree_model_get(model, &iter, CDLIST_TITLE, &title, CDLIST_PATH, &folder, CDLIST_FULL, &full,
                       -1);
    const char* text = shown == CDLIST_TITLE    ? shownTitle(title, folder)
                       : shown == CDLIST_PATH   ? folder
                       : shown == CDLIST_GAMEID ? (full ? tabMainIdTooltip(full) : nullptr)
                                                : nullptr;
    bool any = text && text[0];
    if (any) {
        gtk_tooltip_set_text(tooltip, text);
        gtk_tree_view_set_tooltip_cell(view, tooltip, path, column, nullptr);
    }
    g_free(title);
    g_free(folder);
    g_free(full);
    gtk_tree_path_free(path);
    return any;
}

// The width of an ID such as "SLUS-00330" in view's font, or of the column's
// title if that is wider, with the cell's and the header's padding.
int gameIdWidth(GtkWidget* view, GtkCellRenderer* cell, const char* title) {
    int widest = 0;
    for (const char* text : {"SLUS-00330", title}) {
        PangoLayout* layout = gtk_widget_create_pango_layout(view, text);
        int width = 0;
        pango_layout_get_pixel_size(layout, &width, nullptr);
        g_object_unref(layout);
        if (width > widest) widest = width;
    }
    guint xpad = 0;
    g_object_get(cell, "xpad", &xpad, nullptr);
    // Room for the grid line, the focus line and the header button's border.
    return widest + 2 * static_cast<int>(xpad) + 12;
}

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
    // no row at all, and the columns stay where the user dragged them. Title
    // and Path share the room the window gives and end in "…" when cut, the
    // whole text in a tooltip; Game ID keeps the width of an ID.
    static const char* const titles[] = {N_("Title"), N_("Path"), N_("Game ID")};
    static const int widths[] = {260, 320, 0};
    for (int column = 0; column < 3; column++) {
        GtkCellRenderer* cell = gtk_cell_renderer_text_new();
        GtkTreeViewColumn* viewColumn = gtk_tree_view_column_new_with_attributes(
            _(titles[column]), cell, "text", column, nullptr);
        gtk_tree_view_column_set_sizing(viewColumn, GTK_TREE_VIEW_COLUMN_FIXED);
        bool gameId = column == CDLIST_GAMEID;
        gtk_tree_view_column_set_fixed_width(
            viewColumn,
            gameId ? gameIdWidth(GTK_WIDGET(view), cell, _(titles[column])) : widths[column]);
        gtk_tree_view_column_set_resizable(viewColumn, TRUE);
        gtk_tree_view_column_set_expand(viewColumn, !gameId);
        if (!gameId) g_object_set(cell, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
        if (column == CDLIST_TITLE)
            gtk_tree_view_column_set_cell_data_func(viewColumn, cell, showTitle, nullptr, nullptr);
        gtk_tree_view_append_column(view, viewColumn);
    }
    gtk_widget_set_has_tooltip(GTK_WIDGET(view), TRUE);
    g_signal_connect(view, "query-tooltip", G_CALLBACK(showWholeCell), nullptr);
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

gboolean on_window_key_press_event(GtkWidget*, GdkEventKey* event, gpointer cancel) {
    guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (event->keyval != GDK_KEY_Escape || modifiers) return FALSE;
    // The Escape that cancels a hot-key capture cancels nothing else.
    if (tabMiscCaptureSaw(event->time)) return TRUE;
    if (GTK_IS_BUTTON(cancel) && gtk_widget_is_sensitive(GTK_WIDGET(cancel)))
        gtk_button_clicked(GTK_BUTTON(cancel));
    return TRUE;
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
