// The CD list of the "Settings" tab: its refill from the catalogue, and the
// state of the background scan of the image folders shown under it.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/cdrows.h"
#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/tab_main.h"
#include "ui/ui.h"
#include "util/helper.h"

namespace {

// How long the first update waits for the scan started with the dialog: a
// library read by then shows complete as the window appears.
constexpr int START_GRACE_MS = 50;
constexpr guint PULSE_MS = 100;
constexpr gint64 STATE_DELAY_MS = 300;

bool startScanRunning = false;  // the scan started with the dialog is the first update's
bool rereadAllNext = false;     // "Update" asks for every folder to be read again
bool idsRereadAll = false;      // the scan running is an "Update": every ID is read again
guint pulseSource = 0;          // the busy state's timer, 0 while no scan runs
gint64 busySince = 0;           // when the running scan was first seen, 0 when none runs
bool listIncomplete = false;    // the first update did not see the start-up scan end
bool checkingKept = false;      // the list shows the kept images until a scan answers

// Full paths of the CD list's rows, in row order: lets a refill keep the rows
// that stay and touch only those that come or go.
std::vector<std::string> shownRows;
GtkListStore* shownStore;
// The rows of each full path, built from shownRows when IDs first arrive
// after a refill: a burst of IDs then costs a lookup per ID.
std::unordered_multimap<std::string_view, int> rowsByPath;
bool rowsByPathStale = true;

// Shows the line under the list with text, the bar pulsing when pulse.
void showLine(const char* text, bool pulse) {
    GtkWidget* bar = uiWidget("progressbarMainScan");
    gtk_label_set_text(GTK_LABEL(uiWidget("labelMainScan")), text);
    if (pulse) gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    gtk_widget_set_visible(bar, pulse);
    gtk_table_set_row_spacing(GTK_TABLE(uiWidget("tableMainCDList")), 2, 5);
    gtk_widget_show(uiWidget("hboxMainScan"));
}

// Shows under the list that the image folders are being read, with the
// number of images found so far, once a scan has run for STATE_DELAY_MS (a
// local rescan ends well before, and the list does not jump for it). Without
// that, the line shows the disc ID's reading or result, or hides. True while
// the line needs its timer: a scan or a read of the ID runs.
bool updateScanState() {
    GtkWidget* box = uiWidget("hboxMainScan");
    GtkWidget* table = uiWidget("tableMainCDList");
    if (!box || !table) return false;
    bool busy = cdsearchScanBusy();
    gint64 now = g_get_monotonic_time();
    if (!busy) busySince = 0;
    if (busy && busySince == 0) busySince = now;
    if (busy && now - busySince >= STATE_DELAY_MS * 1000) {
        int found = cdsearchScanFound();
        gchar* text =
            checkingKept ? g_strdup(_("Checking the image folders for changes"))
                         : g_strdup_printf(
                               ngettext("Reading the image folders: %d image found so far",
                                        "Reading the image folders: %d images found so far", found),
                               found);
        showLine(text, true);
        g_free(text);
        return true;
    }
    // Nothing can be read without helpers: say so rather than show an empty list.
    if (!busy && helperSpawnFailed()) {
        showLine(_("Cannot start a helper process: the image folders are not read"), false);
        return false;
    }
    bool reading = false;
    if (const char* idText = tabMainGameIdLine(&reading)) {
        showLine(idText, reading);
    } else {
        // Without the state the list reaches down to the frame's border.
        gtk_widget_hide(box);
        gtk_table_set_row_spacing(GTK_TABLE(table), 2, 0);
    }
    return busy || reading;
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

// The ID text of a row, readable form.
const char* idText(const std::string& fullPath, gchar** scratch) {
    const std::string* id = gameidsFind(fullPath);
    return id ? uiDisplayable(id->c_str(), scratch) : "";
}

// IDs arrived: their rows' cells change in place, so no row moves and the
// cursor and the scroll position stay.
void idsArrived(const std::vector<std::string>& fullPaths, void*) {
    GtkListStore* store = uiListStore("liststoreMainCDList");
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    if (!store || store != shownStore ||
        static_cast<int>(shownRows.size()) != gtk_tree_model_iter_n_children(model, nullptr))
        return;  // the next refill starts afresh
    if (rowsByPathStale) {
        rowsByPath.clear();
        rowsByPath.reserve(shownRows.size());
        for (size_t row = 0; row < shownRows.size(); row++)
            rowsByPath.emplace(shownRows[row], static_cast<int>(row));
        rowsByPathStale = false;
    }
    gchar* scratch = nullptr;
    GtkTreeIter iter;
    for (const std::string& path : fullPaths) {
        auto [first, last] = rowsByPath.equal_range(path);
        for (auto it = first; it != last; ++it)
            if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, it->second))
                gtk_list_store_set(store, &iter, CDLIST_GAMEID, idText(path, &scratch), -1);
    }
    g_free(scratch);
}

// Asks for the IDs of the complete list's images.
void requestIds(bool rereadAll) { gameidsRequest(cdsearchImageFullPaths(), rereadAll); }

// A scan finished: the list shows its images, the cursor on current's row,
// and the IDs of its images are read or checked. Runs on the main thread.
void scanFinished(bool changed, void*) {
    checkingKept = false;
    if (changed) {
        cdsearchRefilter();
        tabMainFillCdList();
    }
    requestIds(idsRereadAll);
    idsRereadAll = false;
    showScanState();
}

// Starts the update's scan, or, for the first update, gives the scan started
// with the dialog a moment to finish, unless the kept list is shown already.
void requestScan() {
    if (startScanRunning) {
        startScanRunning = false;
        if (!checkingKept) listIncomplete = !cdsearchScanWait(START_GRACE_MS);
        return;
    }
    cdsearchScanRequest(rereadAllNext);
    idsRereadAll = idsRereadAll || rereadAllNext;
    rereadAllNext = false;
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
    gchar* idScratch = nullptr;
    GtkTreeIter iter;
    for (const CdrowsEdit& edit : edits) {
        if (edit.kind == CdrowsEdit::Remove) {
            if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, edit.row))
                gtk_list_store_remove(store, &iter);
            continue;
        }
        const CD* cd = items[edit.row];
        gtk_list_store_insert_with_values(
            store, &iter, edit.row, CDLIST_TITLE, uiDisplayable(cd->name, &nameScratch),
            CDLIST_PATH, uiDisplayable(cd->path, &pathScratch), CDLIST_GAMEID,
            idText(rows[edit.row], &idScratch), CDLIST_FULL, rows[edit.row].c_str(), -1);
    }
    g_free(nameScratch);
    g_free(pathScratch);
    g_free(idScratch);
    shownRows.swap(rows);
    rowsByPathStale = true;
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

void tabMainInitCdList(void) {
    shownRows.clear();
    shownStore = nullptr;
    rowsByPathStale = true;
    cdsearchScanNotify(scanFinished, nullptr);
    gameidsSetNotify(idsArrived, nullptr);
}

void tabMainShowScanState(void) { showScanState(); }

void tabMainShowCdList(bool scan) {
    if (scan) requestScan();
    cdsearchRefilter();
    tabMainFillCdList();
    showScanState(listIncomplete);
    listIncomplete = false;
}

void tabMainStartScan(void) {
    // The images kept from the last complete read show at once; the scan checks them.
    checkingKept = cdsearchLoadKept() > 0;
    cdsearchScanNotify(scanFinished, nullptr);
    cdsearchScanRequest(false);
    startScanRunning = true;
}

void tabMainUpdateRereadingAll(void) {
    rereadAllNext = true;
    on_tab_main_update();
}

void tabMainShutdown(void) {
    cdsearchScanNotify(nullptr, nullptr);
    gameidsSetNotify(nullptr, nullptr);
    tabMainGameIdShutdown();
    rowsByPath.clear();
    rowsByPathStale = true;
    startScanRunning = false;
    rereadAllNext = false;
    idsRereadAll = false;
    if (pulseSource) g_source_remove(pulseSource);
    pulseSource = 0;
    busySince = 0;
    listIncomplete = false;
    checkingKept = false;
}
