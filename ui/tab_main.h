// The "Settings" tab: CD selection and CD-ROM properties.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "catalogue/gameids.h"

// Columns of the CD list's model: what the view shows, plus the exact bytes
// of each entry's full path, which may not be valid UTF-8.
enum CdListColumn {
    CDLIST_TITLE = 0,   // name, readable form
    CDLIST_PATH = 1,    // folder part, readable form
    CDLIST_GAMEID = 2,  // the disc ID known for the full path, readable form, "" when none;
                        // CDLIST_WAITING or CDLIST_FAILED while it has none
    CDLIST_FULL = 3,    // path followed by name, as on disk
};

// The Game ID cell of an image whose ID is being read, and of one that cannot
// be read (its tooltip says why).
constexpr const char* CDLIST_WAITING = "…";
constexpr const char* CDLIST_FAILED = "⚠";

// The Game ID cell of fullPath's row: its ID, readable form, when known, else
// the mark of its state or "". Returns a static text or *scratch's data; the
// caller frees *scratch (nullptr at first) with g_free.
const char* tabMainIdText(const std::string& fullPath, gchar** scratch);

// Files at least this large are hashed with a progress window.
constexpr long long MD5_PROGRESS_THRESHOLD = 4LL * 1024 * 1024;

// The recently opened menu of the last click, or nullptr before the first.
extern GtkWidget* recentlyMenu;

// The menu's labels for entries (full paths): each file name, and where
// names repeat, the fewest last folders that tell that entry apart
// ("Game.cue — …/USA/"), or its whole folder.
std::vector<std::string> tabMainRecentlyLabels(const std::vector<std::string>& entries);

// Whether current names a disc: neither nothing nor the no-disc entry. "Get
// ID" and "Calc md5" are sensitive exactly while it does.
bool tabMainNamesDisc(const char* current);
// Shows text on the line under the CD list for a few seconds, as a result of "Get ID" shows.
void tabMainShowNote(const std::string& text);

// Copies at most size - 1 bytes of text into out, cutting valid UTF-8 at a
// character boundary.
void tabMainCopyCut(char* out, size_t size, const char* text);

// The CD list and the state of the scan under it (tab_main_cdlist.cpp).
// Starts a run of the tab afresh: nothing of an earlier window's list stays.
void tabMainInitCdList(void);
// Refills the CD list from the catalogue's item list and puts the cursor on
// the current disc's row.
void tabMainFillCdList();
// Shows the images known now at once and, with scan, asks for a scan of what
// may have changed; the list follows when it is done.
void tabMainShowCdList(bool scan);
// Starts reading the image folders as early as the dialog can: the first
// update then waits only a moment for it. With images kept from the last
// read, those show at once and the check of them starts after the window is up.
void tabMainStartScan(void);
// The update of "Update": every image folder is read again.
void tabMainUpdateRereadingAll(void);
// Shows on the line under the list what runs now: a scan's state, else the
// disc ID's reading or its result, else how many list IDs are left to read;
// no text when there is none of these.
void tabMainShowScanState(void);
// Stops showing scans and IDs: called before the catalogue shuts down.
void tabMainShutdown(void);
// Cancels a running "Calc md5" and closes its progress window.
void tabMainMd5Shutdown(void);

// The Game ID cell's tooltip for a row, nullptr when it has none: why the
// row's image cannot be read, while it shows the mark.
const char* tabMainIdTooltip(const char* fullPath);

// "Get ID" (tab_main_gameid.cpp). Reads the current disc's ID unless current
// is empty or the no-disc entry or being read already (a read of another disc
// is given up); shows "Reading the disc ID" meanwhile, and the unreadable
// result when no reader can be had.
void tabMainGetId(void);
// Shows a read's result on the line for 4 seconds: the ID, or why there is none.
void tabMainShowGameId(GameIdResult result, const std::string& id);
// Why a disc has no ID: GAMEID_NO_ANSWER's text, else the unreadable one.
const char* tabMainGameIdWhy(GameIdResult why);
// The line's text for the ID, nullptr when there is none to show; busy while
// the read runs (the bar pulses then).
const char* tabMainGameIdLine(bool* busy);
// "Get ID" is sensitive while current names a disc: call when current changes.
void tabMainUpdateGetId(void);
// Forgets the read and its result (UI shutdown).
void tabMainGameIdShutdown(void);

G_BEGIN_DECLS

void on_tab_main_init(void);    // puts the clear icon on the filter-clear button
void on_tab_main_update(void);  // fills the tab from the settings; reads the desktop size

void on_treeviewMainCDList_cursor_changed(GtkTreeView* view, gpointer data);
void on_entryMainFilterText_changed(GtkEditable* entry, gpointer data);
void on_buttonMainFilterClear_clicked(GtkButton* button, gpointer data);
void on_buttonMainRecentlyOpened_clicked(GtkButton* button, gpointer data);
void on_buttonMainCalcMd5_clicked(GtkButton* button, gpointer data);

void on_checkbuttonMainCDXAPlaying_toggled(GtkToggleButton* button, gpointer data);
void on_spinbuttonMainCDXAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer data);
void on_checkbuttonMainCDDAPlaying_toggled(GtkToggleButton* button, gpointer data);
void on_spinbuttonMainCDDAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer data);
void on_checkbuttonMainReadSubchannels_toggled(GtkToggleButton* button, gpointer data);
void on_checkbuttonMainPPFPatching_toggled(GtkToggleButton* button, gpointer data);
void on_spinbuttonMainSpeedLimitation_value_changed(GtkSpinButton* spin, gpointer data);
void on_spinbuttonMainAgainOnError_value_changed(GtkSpinButton* spin, gpointer data);
void on_comboboxMainSpinDownTime_changed(GtkComboBox* combo, gpointer data);
void on_comboboxMainCaching_changed(GtkComboBox* combo, gpointer data);
void on_spinbuttonMainCacheSize_value_changed(GtkSpinButton* spin, gpointer data);

// Item N of the recently opened menu makes entry N the current disc.
#define DISCWREN_RECENTLY_HANDLER(N) void popupmenu_item##N##_selected(GtkWidget* item, void* data);
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

G_END_DECLS
