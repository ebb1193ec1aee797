#include "ui/tab_main.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/recently.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/ui.h"
#include "ui/window_main.h"
#include "util/md5.h"
#include "util/path.h"

GtkWidget* recentlyMenu;

namespace {

// Reads the size of the first screen's root window from GDK's own connection,
// which already knows it; without a display the previous size stays.
void readDesktopSize() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GdkScreen* screen = gdk_display_get_screen(display, 0);
    desktopWidth = gdk_screen_get_width(screen);
    desktopHeight = gdk_screen_get_height(screen);
}

// Copies at most size - 1 bytes of text into out; valid UTF-8 is cut at a
// character boundary, so that the filter entry can show what is kept.
void copyCut(char* out, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length >= size) {
        length = size - 1;
        if (g_utf8_validate(text, -1, nullptr))
            while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
                length--;
    }
    memcpy(out, text, length);
    out[length] = '\0';
}

// Full paths of the CD list's rows, in row order: lets a refill keep the rows
// that stay and touch only those that come or go.
std::vector<std::string> shownRows;
GtkListStore* shownStore;

// Refills the CD list from the catalogue with the model detached from the
// view, so that the view measures nothing row by row. Rows that stay are
// kept, rows the new list lacks are removed, and new ones are inserted where
// they belong: typing into the filter mostly removes rows. Then puts the
// cursor on the last row whose full path is the current disc.
void fillCdList() {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkListStore* store = GTK_LIST_STORE(gtk_builder_get_object(builder, "liststoreMainCDList"));
    if (!view || !store) return;
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    g_object_ref(store);
    gtk_tree_view_set_model(view, nullptr);
    // A new store, or one changed elsewhere, starts afresh.
    if (store != shownStore ||
        static_cast<int>(shownRows.size()) != gtk_tree_model_iter_n_children(model, nullptr)) {
        gtk_list_store_clear(store);
        shownRows.clear();
        shownStore = store;
    }

    std::vector<std::string> rows;
    std::vector<CD*> items;
    char full[SETTINGS_PATH_SIZE];
    int count = cdsearchItemQuantity();
    for (int i = 0; i < count; i++) {
        CD* cd = cdsearchItemGet(i);
        if (!cd) break;
        snprintf(full, sizeof full, "%s%s", cd->path, cd->name);
        rows.emplace_back(full);
        items.push_back(cd);
    }
    std::unordered_set<std::string> wanted(rows.begin(), rows.end());

    int cursorRow = -1;
    gchar* nameScratch = nullptr;
    gchar* pathScratch = nullptr;
    GtkTreeIter iter;
    bool old = gtk_tree_model_get_iter_first(model, &iter);
    size_t oldIndex = 0;
    for (size_t row = 0; row < rows.size(); row++) {
        // Old rows that the new list does not hold go.
        while (old && !wanted.count(shownRows[oldIndex])) {
            old = gtk_list_store_remove(store, &iter);
            oldIndex++;
        }
        if (old && shownRows[oldIndex] == rows[row]) {
            old = gtk_tree_model_iter_next(model, &iter);
            oldIndex++;
        } else {
            CD* cd = items[row];
            GtkTreeIter added;
            gtk_list_store_insert_with_values(store, &added, static_cast<int>(row), CDLIST_TITLE,
                                              uiDisplayable(cd->name, &nameScratch), CDLIST_PATH,
                                              uiDisplayable(cd->path, &pathScratch), CDLIST_GAMEID,
                                              "", CDLIST_FULL, rows[row].c_str(), -1);
        }
        if (rows[row] == settings.current) cursorRow = static_cast<int>(row);
    }
    while (old) old = gtk_list_store_remove(store, &iter);
    g_free(nameScratch);
    g_free(pathScratch);
    shownRows.swap(rows);

    gtk_tree_view_set_model(view, model);
    g_object_unref(store);
    if (cursorRow >= 0) {
        // Runs the cursor handler, which stores the same text in current.
        GtkTreePath* path = gtk_tree_path_new_from_indices(cursorRow, -1);
        gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
}

// The value a toggle or spin button shows, as the record stores it.
int32_t toggleValue(GtkToggleButton* button) {
    return gtk_toggle_button_get_active(button) ? 1 : 0;
}
int32_t spinValue(GtkSpinButton* spin) {
    return static_cast<int32_t>(lround(gtk_spin_button_get_value(spin)));
}

// Each setter below runs the widget's handler when the value changes; the
// value is stored again afterwards so that the record always holds what the
// widget shows (a clamped value, or -1 for a combo box left empty), even when
// the widget already showed it and no handler ran.
void showToggle(const char* id, int32_t* field) {
    GtkToggleButton* button = GTK_TOGGLE_BUTTON(uiWidget(id));
    if (!button) return;
    gtk_toggle_button_set_active(button, *field != 0);
    *field = toggleValue(button);
}

void showSpin(const char* id, int32_t* field) {
    GtkSpinButton* spin = GTK_SPIN_BUTTON(uiWidget(id));
    if (!spin) return;
    gtk_spin_button_set_value(spin, *field);
    *field = spinValue(spin);
}

void showCombo(const char* id, int32_t* field) {
    GtkComboBox* combo = GTK_COMBO_BOX(uiWidget(id));
    if (!combo) return;
    int rows = gtk_tree_model_iter_n_children(gtk_combo_box_get_model(combo), nullptr);
    // An index with no entry leaves the combo box empty.
    gtk_combo_box_set_active(combo, *field >= 0 && *field < rows ? *field : -1);
    *field = gtk_combo_box_get_active(combo);
}

void showProperties() {
    showToggle("checkbuttonMainCDXAPlaying", &settings.playcdxa);
    showSpin("spinbuttonMainCDXAVolumeLevel", &settings.cdxavolumelevel);
    showToggle("checkbuttonMainCDDAPlaying", &settings.playcdda);
    showSpin("spinbuttonMainCDDAVolumeLevel", &settings.cddavolumelevel);
    showToggle("checkbuttonMainReadSubchannels", &settings.readsubchannels);
    showToggle("checkbuttonMainPPFPatching", &settings.ppfpatching);
    showSpin("spinbuttonMainSpeedLimitation", &settings.speedlimitation);
    showSpin("spinbuttonMainAgainOnError", &settings.tryagainonerror);
    showCombo("comboboxMainSpinDownTime", &settings.spindowntime);
    showCombo("comboboxMainCaching", &settings.caching);
    showSpin("spinbuttonMainCacheSize", &settings.cachinglevel);
}

void selectRecently(int index) {
    char* entry = recentlyGet(index);
    if (entry && index < recentlyQuantity())
        copyCut(settings.current, sizeof settings.current, entry);
}

// ---- MD5 of the current disc's data file

// The data file of an image descriptor: the same name with the data
// extension; anything else is hashed as it is.
void dataFileOf(char* path) {
    static const char* const pairs[][2] = {
        {".cue", ".bin"}, {".ccd", ".img"}, {".toc", ".bin"}, {".mds", ".mdf"}};
    for (const auto& pair : pairs)
        if (checkExtension(path, pair[0])) {
            changeExtension(path, pair[1]);
            return;
        }
}

// Opens the file to hash: a regular file or a block device (a CD-ROM drive).
// A FIFO would block the dialog and a folder would hash as empty, so those
// and other kinds are refused. Sets size to the byte count, -1 when unknown.
FILE* openToHash(const char* path, long long* size) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status;
    if (fstat(fd, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISBLK(status.st_mode))) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *size = status.st_size;
    if (S_ISBLK(status.st_mode)) {
        off_t end = lseek(fd, 0, SEEK_END);
        lseek(fd, 0, SEEK_SET);
        *size = end > 0 ? end : -1;
    }
    FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return file;
}

// A small modal window over the main window while a long hash runs.
struct Progress {
    GtkWidget* window = nullptr;
    GtkProgressBar* bar = nullptr;
    bool cancelled = false;
    int percent = -1;
};

void progressOpen(Progress* progress) {
    progress->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(progress->window);
    gtk_window_set_title(window, _("md5 control sum"));
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_transient_for(window, windowMain);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_container_set_border_width(GTK_CONTAINER(window), 10);

    GtkWidget* box = gtk_vbox_new(FALSE, 10);
    progress->bar = GTK_PROGRESS_BAR(gtk_progress_bar_new());
    gtk_widget_set_size_request(GTK_WIDGET(progress->bar), 300, -1);
    gtk_progress_bar_set_text(progress->bar, "0%");
    GtkWidget* cancel = gtk_button_new_from_stock(GTK_STOCK_CANCEL);
    GtkWidget* row = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(row), GTK_BUTTONBOX_END);
    gtk_container_add(GTK_CONTAINER(row), cancel);
    gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(progress->bar), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    auto stop = +[](GtkWidget*, gpointer data) -> gboolean {
        static_cast<Progress*>(data)->cancelled = true;
        return TRUE;  // closing the window cancels; the hash loop destroys it
    };
    g_signal_connect(cancel, "clicked", G_CALLBACK(stop), progress);
    g_signal_connect(window, "delete-event", G_CALLBACK(stop), progress);
    gtk_widget_show_all(progress->window);
}

void progressShow(Progress* progress, long long done, long long total) {
    if (total < 0) {
        // A drive that does not tell its size: show that work goes on.
        char text[32];
        snprintf(text, sizeof text, "%lld MB", done >> 20);
        gtk_progress_bar_pulse(progress->bar);
        gtk_progress_bar_set_text(progress->bar, text);
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        return;
    }
    int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
    if (percent > 100) percent = 100;
    if (percent != progress->percent) {
        progress->percent = percent;
        char text[16];
        snprintf(text, sizeof text, "%d%%", percent);
        gtk_progress_bar_set_fraction(progress->bar, percent / 100.0);
        gtk_progress_bar_set_text(progress->bar, text);
    }
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// Hashes the file to its end (a read error ends it like the end of the
// file). Files of MD5_PROGRESS_THRESHOLD bytes and more, and drives of unknown
// size (total < 0), show a progress window whose Cancel stops the hash. True
// when a digest was made.
bool hashFile(FILE* file, long long total, unsigned char digest[16]) {
    Progress progress;
    if (total < 0 || total >= MD5_PROGRESS_THRESHOLD) progressOpen(&progress);

    Md5Context context;
    md5Starts(&context);
    std::vector<unsigned char> block(1 << 20);
    long long done = 0;
    size_t got;
    while (!progress.cancelled && (got = fread(block.data(), 1, block.size(), file)) > 0) {
        md5Update(&context, block.data(), static_cast<unsigned>(got));
        done += static_cast<long long>(got);
        if (progress.window) progressShow(&progress, done, total);
    }
    if (progress.window) gtk_widget_destroy(progress.window);
    if (progress.cancelled) return false;
    md5Finish(&context, digest);
    return true;
}

void showDigest(const unsigned char digest[16]) {
    char text[33];
    md5Hex(digest, text);
    GtkWidget* message = gtk_message_dialog_new(windowMain, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                                GTK_BUTTONS_CLOSE, "%s", text);
    gtk_window_set_title(GTK_WINDOW(message), _("md5 control sum"));
    gtk_dialog_run(GTK_DIALOG(message));
    gtk_widget_destroy(message);
}

}  // namespace

extern "C" {

void on_tab_main_init(void) {
    gdkpixbufclear = imagesClearIcon();
    widget = uiWidget("buttonMainFilterClear");
    if (widget) gtk_button_set_image(GTK_BUTTON(widget), gtk_image_new_from_pixbuf(gdkpixbufclear));
}

void on_tab_main_update(void) {
    readDesktopSize();

    // A changed text runs the filter handler, and with it one nested update.
    widget = uiWidget("entryMainFilterText");
    if (widget) {
        gchar* shown = nullptr;
        gtk_entry_set_text(GTK_ENTRY(widget), uiDisplayable(settings.filter, &shown));
        g_free(shown);
    }

    cdsearchSetFilter(settings.filter);
    cdsearchBuild();
    fillCdList();
    showProperties();
}

void on_treeviewMainCDList_cursor_changed(GtkTreeView* view, gpointer) {
    GtkTreePath* path = nullptr;
    gtk_tree_view_get_cursor(view, &path, nullptr);
    if (!path) return;
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    if (model && gtk_tree_model_get_iter(model, &iter, path)) {
        gchar* full = nullptr;
        gtk_tree_model_get(model, &iter, CDLIST_FULL, &full, -1);
        if (full) copyCut(settings.current, sizeof settings.current, full);
        g_free(full);
    }
    gtk_tree_path_free(path);
}

void on_entryMainFilterText_changed(GtkEditable* entry, gpointer) {
    copyCut(settings.filter, sizeof settings.filter, gtk_entry_get_text(GTK_ENTRY(entry)));
    on_tab_main_update();
}

void on_buttonMainFilterClear_clicked(GtkButton*, gpointer) {
    settings.filter[0] = '\0';
    on_tab_main_update();
    if ((widget = uiWidget("entryMainFilterText"))) gtk_widget_grab_focus(widget);
}

void on_buttonMainRecentlyOpened_clicked(GtkButton*, gpointer) {
    static const GCallback handlers[RECENTLY_CAPACITY] = {
        G_CALLBACK(popupmenu_item0_selected),  G_CALLBACK(popupmenu_item1_selected),
        G_CALLBACK(popupmenu_item2_selected),  G_CALLBACK(popupmenu_item3_selected),
        G_CALLBACK(popupmenu_item4_selected),  G_CALLBACK(popupmenu_item5_selected),
        G_CALLBACK(popupmenu_item6_selected),  G_CALLBACK(popupmenu_item7_selected),
        G_CALLBACK(popupmenu_item8_selected),  G_CALLBACK(popupmenu_item9_selected),
        G_CALLBACK(popupmenu_item10_selected), G_CALLBACK(popupmenu_item11_selected),
        G_CALLBACK(popupmenu_item12_selected), G_CALLBACK(popupmenu_item13_selected),
        G_CALLBACK(popupmenu_item14_selected), G_CALLBACK(popupmenu_item15_selected),
        G_CALLBACK(popupmenu_item16_selected), G_CALLBACK(popupmenu_item17_selected),
        G_CALLBACK(popupmenu_item18_selected), G_CALLBACK(popupmenu_item19_selected),
    };
    if (recentlyMenu) {
        gtk_widget_destroy(recentlyMenu);
        g_object_unref(recentlyMenu);
    }
    recentlyMenu = gtk_menu_new();
    g_object_ref_sink(recentlyMenu);

    int count = recentlyQuantity();
    if (count > RECENTLY_CAPACITY) count = RECENTLY_CAPACITY;
    char label[SETTINGS_FILTER_SIZE];
    for (int i = 0; i < count; i++) {
        const char* entry = recentlyGet(i);
        const char* slash = strrchr(entry, '/');
        copyCut(label, sizeof label, slash ? slash + 1 : entry);
        gchar* shown = nullptr;
        GtkWidget* item = gtk_menu_item_new_with_label(uiDisplayable(label, &shown));
        g_free(shown);
        gtk_menu_shell_append(GTK_MENU_SHELL(recentlyMenu), item);
        // The entry becomes the current disc first, then OK saves and ends.
        g_signal_connect(item, "activate", handlers[i], nullptr);
        g_signal_connect(item, "activate", G_CALLBACK(on_buttonMainOk_clicked), nullptr);
    }
    gtk_widget_show_all(recentlyMenu);
    gtk_menu_popup(GTK_MENU(recentlyMenu), nullptr, nullptr, nullptr, nullptr, 0, 0);
}

void on_buttonMainCalcMd5_clicked(GtkButton*, gpointer) {
    char path[SETTINGS_PATH_SIZE];
    copyCut(path, sizeof path, settings.current);
    dataFileOf(path);
    long long size = 0;
    FILE* file = openToHash(path, &size);
    if (!file) return;
    unsigned char digest[16];
    bool made = hashFile(file, size, digest);
    fclose(file);
    if (made) showDigest(digest);
}

// Property handlers: each stores its widget's value into one field.
void on_checkbuttonMainCDXAPlaying_toggled(GtkToggleButton* button, gpointer) {
    settings.playcdxa = toggleValue(button);
}
void on_spinbuttonMainCDXAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    settings.cdxavolumelevel = spinValue(spin);
}
void on_checkbuttonMainCDDAPlaying_toggled(GtkToggleButton* button, gpointer) {
    settings.playcdda = toggleValue(button);
}
void on_spinbuttonMainCDDAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    settings.cddavolumelevel = spinValue(spin);
}
void on_checkbuttonMainReadSubchannels_toggled(GtkToggleButton* button, gpointer) {
    settings.readsubchannels = toggleValue(button);
}
void on_checkbuttonMainPPFPatching_toggled(GtkToggleButton* button, gpointer) {
    settings.ppfpatching = toggleValue(button);
}
void on_spinbuttonMainSpeedLimitation_value_changed(GtkSpinButton* spin, gpointer) {
    settings.speedlimitation = spinValue(spin);
}
void on_spinbuttonMainAgainOnError_value_changed(GtkSpinButton* spin, gpointer) {
    settings.tryagainonerror = spinValue(spin);
}
void on_comboboxMainSpinDownTime_changed(GtkComboBox* combo, gpointer) {
    settings.spindowntime = gtk_combo_box_get_active(combo);
}
void on_comboboxMainCaching_changed(GtkComboBox* combo, gpointer) {
    settings.caching = gtk_combo_box_get_active(combo);
}
void on_spinbuttonMainCacheSize_value_changed(GtkSpinButton* spin, gpointer) {
    settings.cachinglevel = spinValue(spin);
}

#define DISCWREN_RECENTLY_HANDLER(N) \
    void popupmenu_item##N##_selected(GtkWidget*, void*) { selectRecently(N); }
DISCWREN_RECENTLY_HANDLER(0)
DISCWREN_RECENTLY_HANDLER(1)
DISCWREN_RECENTLY_HANDLER(2)
DISCWREN_RECENTLY_HANDLER(3)
DISCWREN_RECENTLY_HANDLER(4)
DISCWREN_RECENTLY_HANDLER(5)
DISCWREN_RECENTLY_HANDLER(6)
DISCWREN_RECENTLY_HANDLER(7)
DISCWREN_RECENTLY_HANDLER(8)
DISCWREN_RECENTLY_HANDLER(9)
DISCWREN_RECENTLY_HANDLER(10)
DISCWREN_RECENTLY_HANDLER(11)
DISCWREN_RECENTLY_HANDLER(12)
DISCWREN_RECENTLY_HANDLER(13)
DISCWREN_RECENTLY_HANDLER(14)
DISCWREN_RECENTLY_HANDLER(15)
DISCWREN_RECENTLY_HANDLER(16)
DISCWREN_RECENTLY_HANDLER(17)
DISCWREN_RECENTLY_HANDLER(18)
DISCWREN_RECENTLY_HANDLER(19)
#undef DISCWREN_RECENTLY_HANDLER

}  // extern "C"
