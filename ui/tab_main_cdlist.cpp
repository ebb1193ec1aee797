// The CD list of the "Settings" tab: its refill from the catalogue, its Game
// ID cells as the IDs are read, and the state of the background scan of the
// image folders (or of the IDs left to read) shown under it.
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/cdrows.h"
#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "clients/spawn.h"
#include "settings/settings.h"
#include "ui/cdlist_model.h"
#include "ui/i18n.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

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
gint64 idsSince = 0;            // when list IDs were first seen waiting, 0 when none wait
guint prioritiseSource = 0;     // the chosen disc and the rows on screen go first, once per turn
guint keptCheckSource = 0;      // the check of the kept images waits for the window's first turns
// Rows asked for first before the view knows which show.
constexpr int FIRST_ROWS = 40;

// The CD list's model, whose rows are the full paths shown.
GtkTreeModel* cdListModel() { return uiTreeModel("liststoreMainCDList"); }

// The rows of each full path, built from the model's rows when IDs first
// arrive after a refill: a burst of IDs then costs a lookup per ID.
std::unordered_multimap<std::string_view, int> rowsByPath;
bool rowsByPathStale = true;

// Shows the line under the list with text, the bar pulsing when pulse.
void showLine(const char* text, bool pulse) {
    GtkWidget* bar = uiWidget("progressbarMainScan");
    GtkLabel* label = GTK_LABEL(uiWidget("labelMainScan"));
    // A label set resizes the window even to the same text: the count of IDs
    // left is set every tick.
    if (strcmp(gtk_label_get_text(label), text) != 0) gtk_label_set_text(label, text);
    if (pulse) gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    gtk_widget_set_visible(bar, pulse);
}

// The line under the list always takes the height of its bar or its text,
// whichever is taller, so that the list keeps its size as the line comes and
// goes.
void keepLineHeight() {
    GtkWidget* box = uiWidget("hboxMainScan");
    GtkWidget* bar = uiWidget("progressbarMainScan");
    GtkWidget* label = uiWidget("labelMainScan");
    if (!box || !bar || !label) return;
    GtkRequisition barSize, labelSize;
    gtk_widget_size_request(bar, &barSize);
    gtk_widget_size_request(label, &labelSize);
    gtk_widget_set_size_request(box, -1, MAX(barSize.height, labelSize.height));
    gtk_widget_show(box);
}

// Shows under the list that the image folders are being read, with the
// number of images found so far, once a scan has run for STATE_DELAY_MS (a
// local rescan ends well before). Without that, the line shows the disc ID's
// reading or result, or nothing. True while the line needs its timer: a scan
// or a read of the ID runs.
bool updateScanState() {
    if (!uiWidget("hboxMainScan")) return false;
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
    const size_t left = busy ? 0 : gameidsPending();
    if (!left) idsSince = 0;
    if (left && idsSince == 0) idsSince = now;
    if (const char* idText = tabMainGameIdLine(&reading)) {
        showLine(idText, reading);
    } else if (left && now - idsSince >= STATE_DELAY_MS * 1000) {
        gchar* text = g_strdup_printf(
            ngettext("Reading disc IDs: %d left", "Reading disc IDs: %d left", int(left)),
            int(left));
        showLine(text, false);
        g_free(text);
    } else {
        showLine("", false);
    }
    return busy || reading || left;
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

// The marks show grey, apart from the IDs.
void idCellData(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                gpointer) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, iter, CDLIST_GAMEID, &text, -1);
    bool mark = text && (strcmp(text, CDLIST_WAITING) == 0 || strcmp(text, CDLIST_FAILED) == 0);
    g_object_set(cell, "text", text, "foreground", "grey50", "foreground-set", mark, nullptr);
    g_free(text);
}

// The images whose IDs are read first: the chosen disc, then the rows on
// screen (the top rows while the view is not drawn yet).
std::vector<std::string> shownFirst() {
    std::vector<std::string> first;
    if (settings.current[0]) first.push_back(settings.current);
    int from = 0, to = FIRST_ROWS - 1;
    GtkTreePath *start = nullptr, *end = nullptr;
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    if (view && gtk_widget_get_realized(GTK_WIDGET(view)) &&
        gtk_tree_view_get_visible_range(view, &start, &end)) {
        from = gtk_tree_path_get_indices(start)[0];
        to = gtk_tree_path_get_indices(end)[0];
        gtk_tree_path_free(start);
        gtk_tree_path_free(end);
    }
    const std::vector<std::string>& rows = cdlistModelRows(cdListModel());
    for (int row = from; row <= to && row < int(rows.size()); row++) first.push_back(rows[row]);
    return first;
}

gboolean prioritiseShown(gpointer) {
    prioritiseSource = 0;
    gameidsPrioritise(shownFirst());
    return FALSE;
}

void prioritiseSoon() {
    if (!prioritiseSource) prioritiseSource = g_idle_add(prioritiseShown, nullptr);
}

// IDs arrived: their rows are redrawn in place, so no row moves and the
// cursor and the scroll position stay.
void idsArrived(const std::vector<std::string>& fullPaths, void*) {
    GtkTreeModel* model = cdListModel();
    if (!model) return;
    if (rowsByPathStale) {
        const std::vector<std::string>& rows = cdlistModelRows(model);
        rowsByPath.clear();
        rowsByPath.reserve(rows.size());
        for (size_t row = 0; row < rows.size(); row++)
            rowsByPath.emplace(rows[row], static_cast<int>(row));
        rowsByPathStale = false;
    }
    for (const std::string& path : fullPaths) {
        auto [first, last] = rowsByPath.equal_range(path);
        for (auto it = first; it != last; ++it) cdlistModelChanged(model, it->second);
    }
}

// A scan finished: the IDs of its images are read or checked, the chosen
// disc's and those of the rows on screen first, and the list shows its
// images, the cursor on current's row. The IDs are asked for first, so that
// new rows come in with their cells marked. Runs on the main thread.
void scanFinished(bool changed, void*) {
    checkingKept = false;
    gameidsRequest(cdsearchImageFullPaths(), idsRereadAll, shownFirst());
    idsRereadAll = false;
    if (changed) {
        cdsearchRefilter();
        tabMainFillCdList();
    }
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
    if (keptCheckSource) g_source_remove(keptCheckSource);
    keptCheckSource = 0;  // this scan checks the kept images too
    cdsearchScanRequest(rereadAllNext);
    idsRereadAll = idsRereadAll || rereadAllNext;
    rereadAllNext = false;
}

// The check of the kept images starts once the window has taken its first
// turns of the main loop: its scan helper, and the share it reads, would
// otherwise compete with the start for the processor.
gboolean startKeptCheck(gpointer) {
    keptCheckSource = 0;
    cdsearchScanRequest(false);
    showScanState();
    return FALSE;
}

}  // namespace

// The Game ID cell of a row: its ID (readable form) when known, else a mark
// while the image cannot be read or waits for its read. An ID known stays
// shown while it is read again (a disc that turns out unreadable loses it).
const char* tabMainIdText(const std::string& fullPath, gchar** scratch) {
    if (const std::string* id = gameidsFind(fullPath)) return uiDisplayable(id->c_str(), scratch);
    GameidsState state = gameidsStateOf(fullPath, nullptr);
    return state == GAMEIDS_FAILED ? CDLIST_FAILED : state == GAMEIDS_WAITING ? CDLIST_WAITING : "";
}

// Refills the CD list from the catalogue: rows that stay are kept, rows the
// new list lacks are removed and new ones inserted where they belong (typing
// into the filter mostly removes rows). Many edits replace the rows at once
// with the model detached from the view, so that the view follows none of
// them row by row; a few are made in place, keeping the view where it is.
// Then puts the cursor on the last row whose full path is the current disc.
void tabMainFillCdList() {
    constexpr size_t DETACH_EDITS = 200;
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkTreeModel* model = cdListModel();
    if (!view || !model) return;

    std::vector<std::string> rows;
    int count = cdsearchItemQuantity();
    rows.reserve(count);
    for (int i = 0; i < count; i++) {
        CD* cd = cdsearchItemGet(i);
        if (!cd) break;
        rows.push_back(cdFullPath(cd));
    }

    std::vector<CdrowsEdit> edits = cdrowsDiff(cdlistModelRows(model), rows);
    if (edits.size() >= DETACH_EDITS) {
        g_object_ref(model);
        gtk_tree_view_set_model(view, nullptr);
        cdlistModelReplace(model, std::move(rows));
        gtk_tree_view_set_model(view, model);
        g_object_unref(model);
    } else {
        for (const CdrowsEdit& edit : edits) {
            if (edit.kind == CdrowsEdit::Remove)
                cdlistModelRemove(model, edit.row);
            else
                cdlistModelInsert(model, edit.row, rows[edit.row]);
        }
    }
    rowsByPathStale = true;

    int cursorRow = cdrowsCursor(cdlistModelRows(model), settings.current);
    if (cursorRow >= 0) {
        // Runs the cursor handler, which stores the same text in current.
        GtkTreePath* path = gtk_tree_path_new_from_indices(cursorRow, -1);
        gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
    // Other rows show now: their IDs go first.
    prioritiseSoon();
}

void tabMainInitCdList(void) {
    keepLineHeight();
    rowsByPathStale = true;
    cdsearchScanNotify(scanFinished, nullptr);
    gameidsSetNotify(idsArrived, nullptr);
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    if (GtkTreeViewColumn* column =
            view ? gtk_tree_view_get_column(view, CDLIST_GAMEID) : nullptr) {
        GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
        if (cells)
            gtk_tree_view_column_set_cell_data_func(column, GTK_CELL_RENDERER(cells->data),
                                                    idCellData, nullptr, nullptr);
        g_list_free(cells);
        // A scroll brings other rows: their IDs go first.
        g_signal_connect_swapped(gtk_tree_view_get_vadjustment(view), "value-changed",
                                 G_CALLBACK(prioritiseSoon), nullptr);
        g_signal_connect_swapped(view, "cursor-changed", G_CALLBACK(prioritiseSoon), nullptr);
    }
}

const char* tabMainIdTooltip(const char* fullPath) {
    GameIdResult why = GAMEID_UNREADABLE;
    if (gameidsFind(fullPath) || gameidsStateOf(fullPath, &why) != GAMEIDS_FAILED) return nullptr;
    return tabMainGameIdWhy(why);
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
    // The images kept from the last complete read show at once; the scan that
    // checks them starts after the window is up.
    checkingKept = cdsearchLoadKept() > 0;
    cdsearchScanNotify(scanFinished, nullptr);
    if (checkingKept)
        keptCheckSource = g_idle_add_full(G_PRIORITY_LOW, startKeptCheck, nullptr, nullptr);
    else
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
    if (prioritiseSource) g_source_remove(prioritiseSource);
    prioritiseSource = 0;
    if (keptCheckSource) g_source_remove(keptCheckSource);
    keptCheckSource = 0;
    busySince = 0;
    idsSince = 0;
    listIncomplete = false;
    checkingKept = false;
}
