#include "ui/tab_main.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdrows.h"
#include "catalogue/cdsearch.h"
#include "containers/recently.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/ui.h"
#include "ui/widget_fields.h"
#include "ui/window_main.h"
#include "util/md5.h"

GtkWidget* recentlyMenu;

namespace {

// How long the first update waits for the scan started with the dialog: a
// library read by then shows complete as the window appears.
constexpr int START_GRACE_MS = 50;
constexpr guint PULSE_MS = 100;
constexpr gint64 STATE_DELAY_MS = 300;

bool startScanRunning = false;  // the scan started with the dialog is the first update's
bool rereadAllNext = false;     // "Update" asks for every folder to be read again
guint pulseSource = 0;          // the busy state's timer, 0 while no scan runs
gint64 busySince = 0;           // when the running scan was first seen, 0 when none runs
bool listIncomplete = false;    // the first update did not see the start-up scan end
// A finished scan's notice waits in the main loop; notices of an earlier run
// of the tab (an earlier window of the same process) are ignored.
std::atomic<bool> noticePending{false};
std::atomic<unsigned> tabRun{0};

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

void selectRecently(int index) {
    char* entry = recentlyGet(index);
    if (entry && index < recentlyQuantity())
        copyCut(settings.current, sizeof settings.current, entry);
}

// ---- Scan of the image folders in the background

// Shows under the list that the image folders are being read, with the
// number of images found so far, once a scan has run for STATE_DELAY_MS (a
// local rescan ends well before, and the list does not jump for it); hides it
// once no scan runs. True while a scan runs.
bool updateScanState() {
    GtkWidget* box = uiWidget("hboxMainScan");
    GtkWidget* table = uiWidget("tableMainCDList");
    if (!box || !table) return false;
    if (!cdsearchScanBusy()) {
        busySince = 0;
        // Without the state the list reaches down to the frame's border.
        gtk_widget_hide(box);
        gtk_table_set_row_spacing(GTK_TABLE(table), 2, 0);
        return false;
    }
    gint64 now = g_get_monotonic_time();
    if (busySince == 0) busySince = now;
    if (now - busySince < STATE_DELAY_MS * 1000) return true;
    int found = cdsearchScanFound();
    gchar* text =
        g_strdup_printf(ngettext("Reading the image folders: %d image found so far",
                                 "Reading the image folders: %d images found so far", found),
                        found);
    gtk_label_set_text(GTK_LABEL(uiWidget("labelMainScan")), text);
    g_free(text);
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(uiWidget("progressbarMainScan")));
    gtk_table_set_row_spacing(GTK_TABLE(table), 2, 5);
    gtk_widget_show(box);
    return true;
}

gboolean pulseScanState(gpointer) {
    if (updateScanState()) return TRUE;
    pulseSource = 0;
    return FALSE;
}

// The state as it is now, kept up by a timer while a scan runs; atOnce shows
// it without the delay (the window opens before its list is complete).
void showScanState(bool atOnce = false) {
    if (atOnce && busySince == 0) busySince = g_get_monotonic_time() - STATE_DELAY_MS * 1000;
    bool busy = updateScanState();
    if (busy && !pulseSource) pulseSource = g_timeout_add(PULSE_MS, pulseScanState, nullptr);
    if (!busy && pulseSource) {
        g_source_remove(pulseSource);
        pulseSource = 0;
    }
}

// A scan finished: the list shows its images, the cursor on current's row.
gboolean takeScan(gpointer run) {
    if (GPOINTER_TO_UINT(run) != tabRun.load()) return FALSE;
    noticePending = false;
    if (cdsearchScanCollect()) {
        cdsearchRefilter();
        tabMainFillCdList();
    }
    showScanState();
    return FALSE;
}

// Runs on the scan's thread: hands the result to the main loop.
void scanFinished() {
    noticePending = true;
    g_idle_add(takeScan, GUINT_TO_POINTER(tabRun.load()));
}

// Starts the update's scan, or, for the first update, gives the scan started
// with the dialog a moment to finish.
void requestScan() {
    if (startScanRunning) {
        startScanRunning = false;
        listIncomplete = !cdsearchScanWait(START_GRACE_MS);
        return;
    }
    cdsearchScanRequest(rereadAllNext);
    rereadAllNext = false;
}

// ---- MD5 of the current disc's data file

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
        return TRUE;  // closing the window cancels; the button handler destroys it
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

// md5File's progress: files of MD5_PROGRESS_THRESHOLD bytes and more, and
// drives of unknown size (total < 0), get the progress window, whose Cancel
// stops the digest.
int showMd5Progress(void* data, long long done, long long total) {
    auto* progress = static_cast<Progress*>(data);
    if (!progress->window) {
        if (total >= 0 && total < MD5_PROGRESS_THRESHOLD) return 0;
        progressOpen(progress);
    }
    progressShow(progress, done, total);
    return progress->cancelled ? 1 : 0;
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

// Refills the CD list from the catalogue: rows that stay are kept, rows the
// new list lacks are removed and new ones inserted where they belong (typing
// into the filter mostly removes rows). Many edits are made with the model
// detached from the view, so that the view follows none of them row by row;
// a few are made in place, keeping the view where it is. Then puts the cursor
// on the last row whose full path is the current disc.
void tabMainFillCdList() {
    constexpr size_t DETACH_EDITS = 200;
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkListStore* store = uiListStore("liststoreMainCDList");
    if (!view || !store) return;
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    // A new store, or one changed elsewhere, starts afresh.
    if (store != shownStore ||
        static_cast<int>(shownRows.size()) != gtk_tree_model_iter_n_children(model, nullptr)) {
        gtk_list_store_clear(store);
        shownRows.clear();
        shownStore = store;
    }

    std::vector<std::string> rows;
    std::vector<CD*> items;
    int count = cdsearchItemQuantity();
    rows.reserve(count);
    items.reserve(count);
    for (int i = 0; i < count; i++) {
        CD* cd = cdsearchItemGet(i);
        if (!cd) break;
        rows.push_back(cdFullPath(cd));
        items.push_back(cd);
    }

    std::vector<CdrowsEdit> edits = cdrowsDiff(shownRows, rows);
    bool detach = edits.size() >= DETACH_EDITS;
    if (detach) {
        g_object_ref(store);
        gtk_tree_view_set_model(view, nullptr);
    }
    gchar* nameScratch = nullptr;
    gchar* pathScratch = nullptr;
    GtkTreeIter iter;
    for (const CdrowsEdit& edit : edits) {
        if (edit.kind == CdrowsEdit::Remove) {
            if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, edit.row))
                gtk_list_store_remove(store, &iter);
            continue;
        }
        const CD* cd = items[edit.row];
        gtk_list_store_insert_with_values(store, &iter, edit.row, CDLIST_TITLE,
                                          uiDisplayable(cd->name, &nameScratch), CDLIST_PATH,
                                          uiDisplayable(cd->path, &pathScratch), CDLIST_GAMEID, "",
                                          CDLIST_FULL, rows[edit.row].c_str(), -1);
    }
    g_free(nameScratch);
    g_free(pathScratch);
    shownRows.swap(rows);
    if (detach) {
        gtk_tree_view_set_model(view, model);
        g_object_unref(store);
    }

    int cursorRow = cdrowsCursor(shownRows, settings.current);
    if (cursorRow >= 0) {
        // Runs the cursor handler, which stores the same text in current.
        GtkTreePath* path = gtk_tree_path_new_from_indices(cursorRow, -1);
        gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
}

void tabMainStartScan(void) {
    cdsearchScanNotify(scanFinished);
    cdsearchScanRequest(false);
    startScanRunning = true;
}

void tabMainUpdateRereadingAll(void) {
    rereadAllNext = true;
    on_tab_main_update();
}

bool tabMainScanSettled(void) { return !cdsearchScanBusy() && !noticePending; }

void tabMainShutdown(void) {
    cdsearchScanNotify(nullptr);
    ++tabRun;
    noticePending = false;
    startScanRunning = false;
    rereadAllNext = false;
    if (pulseSource) g_source_remove(pulseSource);
    pulseSource = 0;
    busySince = 0;
    listIncomplete = false;
}

extern "C" {

void on_tab_main_init(void) {
    cdsearchScanNotify(scanFinished);
    gdkpixbufclear = imagesClearIcon();
    widget = uiWidget("buttonMainFilterClear");
    if (widget) gtk_button_set_image(GTK_BUTTON(widget), gtk_image_new_from_pixbuf(gdkpixbufclear));
}

void on_tab_main_update(void) {
    static int nesting = 0;
    readDesktopSize();

    // A changed text runs the filter handler, and with it one nested update.
    widget = uiWidget("entryMainFilterText");
    if (widget) {
        gchar* shown = nullptr;
        ++nesting;
        gtk_entry_set_text(GTK_ENTRY(widget), uiDisplayable(settings.filter, &shown));
        --nesting;
        g_free(shown);
    }

    // The list shows the images known now at once; the scan reads what may
    // have changed in the background and the list follows when it is done.
    // A nested update leaves the scan to the outer one.
    cdsearchSetFilter(settings.filter);
    if (nesting == 0) requestScan();
    cdsearchScanCollect();
    cdsearchRefilter();
    tabMainFillCdList();
    showScanState(listIncomplete);
    listIncomplete = false;
    widgetFieldsShow(WidgetPage::Main);
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
    md5DataFile(path);
    Progress progress;
    unsigned char digest[16];
    int result = md5File(path, digest, showMd5Progress, &progress);
    if (progress.window) gtk_widget_destroy(progress.window);
    if (result == 0) showDigest(digest);
}

// Property handlers: each stores its widget's value into its field.
void on_checkbuttonMainCDXAPlaying_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainCDXAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_checkbuttonMainCDDAPlaying_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainCDDAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_checkbuttonMainReadSubchannels_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainPPFPatching_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainSpeedLimitation_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_spinbuttonMainAgainOnError_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_comboboxMainSpinDownTime_changed(GtkComboBox* combo, gpointer) {
    widgetFieldStore(GTK_WIDGET(combo));
}
void on_comboboxMainCaching_changed(GtkComboBox* combo, gpointer) {
    widgetFieldStore(GTK_WIDGET(combo));
}
void on_spinbuttonMainCacheSize_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
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
