// The CD selection and CD-ROM properties pages on the real UI definition.
#include "ui/tab_main.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "clients/spawn.h"
#include "containers/recently.h"
#include "settings/settingsfile.h"
#include "support/discs.h"
#include "support/gui.h"
#include "ui/ui.h"

using testsupport::cursorRow;
using testsupport::Dialog;
using testsupport::drain;
using testsupport::fileValue;
using testsupport::joinPath;
using testsupport::readFile;
using testsupport::Responder;
using testsupport::Row;
using testsupport::rows;
using testsupport::titles;
using testsupport::writeFile;

namespace {

// Image files under games/ of the scratch folder, listed by its settings file.
void makeLibrary(const Dialog& dialog, const std::string& current) {
    for (const char* name : {"A.cue", "b.CUE", "c.exe", "d.bin"})
        writeFile(std::string("games/") + name, "");
    writeFile("discWren.ini", "[cd selection]\ncurrent = " + current +
                                  "\ncdimgdir0 = " + dialog.dir.path() + "/games/\n");
}

void putCursor(int row) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(uiWidget("treeviewMainCDList")), path, nullptr, FALSE);
    gtk_tree_path_free(path);
}

void typeFilter(const char* text) {
    gtk_entry_set_text(GTK_ENTRY(uiWidget("entryMainFilterText")), text);
}

TEST(CdList, FilterRefillsTheListAndTheCurrentDiscKeepsItsRow) {
    Dialog dialog;
    const std::string games = dialog.dir.path() + "/games/";
    makeLibrary(dialog, games + "A.cue");
    dialog.startWith(readFile("discWren.ini") + "filter = cue\n");
    // The filter of the file shows; the clear button empties it and focuses the entry.
    GtkWidget* entry = dialog.widget("entryMainFilterText");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "cue");
    EXPECT_EQ(titles(), (std::vector<std::string>{"A.cue", "b.CUE"}));
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainFilterClear")));
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "");
    EXPECT_STREQ(settings.filter, "");
    EXPECT_TRUE(gtk_widget_has_focus(entry));
    EXPECT_EQ(titles(),
              (std::vector<std::string>{"No CD (bios shell)", "A.cue", "b.CUE", "c.exe"}));
    EXPECT_EQ(rows()[1].full, games + "A.cue");
    EXPECT_EQ(cursorRow(), 1);

    struct Step {
        const char* filter;
        std::vector<std::string> titles;
        int cursor;
    } steps[] = {
        {"B", {"No CD (bios shell)", "b.CUE"}, -1},  // the no-disc entry is filtered too
        {"xyz", {}, -1},
        {"a.C", {"A.cue"}, 0},
        {"CUE", {"A.cue", "b.CUE"}, 0},
    };
    for (const Step& step : steps) {
        typeFilter(step.filter);
        EXPECT_EQ(titles(), step.titles) << step.filter;
        EXPECT_EQ(cursorRow(), step.cursor) << step.filter;
        EXPECT_STREQ(settings.filter, step.filter);
        EXPECT_EQ(std::string(settings.current), games + "A.cue") << step.filter;
    }

    // Picking a row sets the current disc; the no-disc entry is its own text.
    putCursor(1);
    EXPECT_EQ(std::string(settings.current), games + "b.CUE");
    typeFilter("");
    putCursor(0);
    EXPECT_STREQ(settings.current, "No CD (bios shell)");
    putCursor(1);

    // "Update" rescans: new and removed images show, in their sorted places.
    writeFile("games/AB.cue", "");
    remove("games/b.CUE");
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainUpdate")));
    testsupport::waitForCatalogue();
    EXPECT_EQ(titles(),
              (std::vector<std::string>{"No CD (bios shell)", "A.cue", "AB.cue", "c.exe"}));
    EXPECT_EQ(rows()[2].full, games + "AB.cue");
    EXPECT_EQ(cursorRow(), 1);

    // A disc the filter hides stays chosen and is saved by OK.
    typeFilter("exe");
    EXPECT_EQ(titles(), (std::vector<std::string>{"c.exe"}));
    typeFilter("bios");
    EXPECT_EQ(cursorRow(), -1);
    EXPECT_TRUE(dialog.leave("ok"));
    EXPECT_EQ(fileValue("current"), games + "A.cue");
    EXPECT_EQ(fileValue("filter"), "bios");
}

// Without helpers nothing is read: the line under the list says so and
// standard error says why, rather than an empty list saying nothing; once
// helpers start again, Update lists the images and the line goes.
TEST(CdList, WhenNoHelperStartsTheLineSaysSoUntilOneDoes) {
    Dialog dialog;
    makeLibrary(dialog, "");
    helperSetProgram("/nonexistent/cfgDiscWren");
    ::testing::internal::CaptureStderr();
    dialog.start();
    const std::string error = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("a helper process cannot be started: No such file or directory"),
              std::string::npos)
        << error;
    EXPECT_EQ(titles(), std::vector<std::string>{"No CD (bios shell)"});
    EXPECT_EQ(testsupport::stateLine(),
              "Cannot start a helper process: the image folders are not read");
    helperSetProgram(nullptr);
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainUpdate")));
    testsupport::waitFor([] { return titles().size() == 4 && testsupport::stateLine().empty(); },
                         "the images listed and the line gone");
}

// A folder written by hand without its final '/' is read as a folder, its
// images shown under it; the file keeps the folder as written.
TEST(CdList, AFolderWrittenWithoutItsSlashListsItsImages) {
    Dialog dialog;
    const std::string games = dialog.dir.path() + "/games";
    makeLibrary(dialog, "");
    dialog.startWith("[cd selection]\ncdimgdir0 = " + games + "\ncdimgdir1 = " + games + "/\n");
    std::vector<std::string> full;  // each image once
    for (const Row& row : rows()) full.push_back(row.full);
    EXPECT_EQ(full, (std::vector<std::string>{"No CD (bios shell)", games + "/A.cue",
                                              games + "/b.CUE", games + "/c.exe"}));
    EXPECT_TRUE(dialog.leave("ok"));
    EXPECT_EQ(fileValue("cdimgdir0"), games);
}

// Names in any script sort by their case-folded text and the filter finds
// them typed in either case; a name that is not UTF-8 goes by its bytes.
TEST(CdList, FilterAndOrderFoldCaseBeyondLatin) {
    Dialog dialog;
    const std::string odd = "caf\xe9 \xff.cue";
    for (const std::string& name : {std::string("Покемон Стадион.cue"), std::string("Zeta.cue"),
                                    std::string("Élan Vital.cue"), std::string("ёлка.cue"),
                                    std::string("Ωmega Ξ.cue"), std::string("alpha.cue"), odd})
        writeFile("games/" + name, "");
    dialog.startWith("[cd selection]\ncdimgdir0 = " + dialog.dir.path() + "/games/\n");
    const struct {
        std::vector<const char*> filters;
        std::vector<std::string> names;
    } steps[] = {
        {{""},
         {"alpha.cue", odd, "Zeta.cue", "Élan Vital.cue", "Ωmega Ξ.cue", "Покемон Стадион.cue",
          "ёлка.cue"}},
        {{"a"}, {"alpha.cue", odd, "Zeta.cue", "Élan Vital.cue", "Ωmega Ξ.cue"}},
        {{"покемон", "ПОКЕМОН СТАДИОН"}, {"Покемон Стадион.cue"}},
        {{"élan", "ÉLAN"}, {"Élan Vital.cue"}},
        {{"ωmega ξ", "ΩMEGA"}, {"Ωmega Ξ.cue"}},
        {{"Ё", "ё"}, {"ёлка.cue"}},
        {{"CAF", "caf"}, {odd}},
    };
    for (const auto& step : steps) {
        for (const char* filter : step.filters) {
            typeFilter(filter);
            std::vector<std::string> names;
            for (const Row& row : rows())
                if (row.full.find("/games/") != std::string::npos)
                    names.push_back(row.full.substr(row.full.rfind('/') + 1));
            EXPECT_EQ(names, step.names) << filter;
        }
    }
    // The name that is not UTF-8 shows readably (a toolkit warning would stop
    // the test program) and keeps its bytes when chosen and saved.
    const std::vector<Row> all = rows();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(g_utf8_validate(all[0].title.c_str(), -1, nullptr));
    EXPECT_NE(all[0].title.find("caf"), std::string::npos);
    EXPECT_EQ(all[0].full, dialog.dir.path() + "/games/" + odd);
    putCursor(0);
    EXPECT_TRUE(dialog.leave("ok"));
    EXPECT_EQ(fileValue("current"), dialog.dir.path() + "/games/" + odd);
}

TEST(CdList, ActivatingARowSavesItAndEnds) {
    Dialog dialog;
    makeLibrary(dialog, "");
    dialog.start();
    EXPECT_TRUE(dialog.runUntilQuit([] { testsupport::activateRow(2); }));
    EXPECT_EQ(fileValue("current"), dialog.dir.path() + "/games/b.CUE");
    EXPECT_EQ(fileValue("0"), dialog.dir.path() + "/games/b.CUE");
}

TEST(CdList, ADiscListedTwiceKeepsBothRowsAndTheCursorTakesTheLast) {
    Dialog dialog;
    makeLibrary(dialog, "");
    writeFile("games/sub/twice.cue", "");
    const std::string twice = dialog.dir.path() + "/games/sub/twice.cue";
    // games/ and games/sub/ both find sub/twice.cue: two rows of one path.
    dialog.startWith("[cd selection]\ncurrent = " + twice + "\ncdimgdir0 = " + dialog.dir.path() +
                     "/games/\ncdimgdir1 = " + dialog.dir.path() + "/games/sub/\n");
    struct Step {
        const char* filter;
        std::vector<std::string> titles;
        int cursor;
    } steps[] = {
        {"", {"No CD (bios shell)", "A.cue", "b.CUE", "c.exe", "twice.cue", "twice.cue"}, 5},
        {"tw", {"twice.cue", "twice.cue"}, 1},
        {".", {"A.cue", "b.CUE", "c.exe", "twice.cue", "twice.cue"}, 4},
        {"", {"No CD (bios shell)", "A.cue", "b.CUE", "c.exe", "twice.cue", "twice.cue"}, 5},
    };
    for (const Step& step : steps) {
        typeFilter(step.filter);
        EXPECT_EQ(titles(), step.titles) << step.filter;
        EXPECT_EQ(cursorRow(), step.cursor) << step.filter;
        for (const Row& row : rows())
            EXPECT_TRUE(row.title != "twice.cue" || row.full == twice) << step.filter;
    }
}

TEST(RecentlyOpened, TheMenuListsFileNamesAndAChoiceIsSavedAsCurrent) {
    Dialog dialog;
    dialog.startWith(
        "[cd selection]\ncurrent = /psx/one.cue\n[recently]\n0 = /psx/one.cue\n"
        "1 = /gone/folder/two.cue\n2 = three.exe\n3 = /psx/USA/Game.cue\n"
        "4 = /psx/Europe/Game.cue\n5 = /b/x/two.cue\n6 = /psx/three.exe\n");
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainRecentlyOpened")));
    ASSERT_NE(recentlyMenu, nullptr);
    std::vector<std::string> labels;
    std::vector<GtkWidget*> items;
    GList* children = gtk_container_get_children(GTK_CONTAINER(recentlyMenu));
    for (GList* it = children; it; it = it->next) {
        items.push_back(GTK_WIDGET(it->data));
        labels.push_back(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(it->data)))));
    }
    g_list_free(children);
    // Equal names show the fewest last folders that tell them apart.
    EXPECT_EQ(labels, (std::vector<std::string>{"one.cue", "two.cue — …/folder/", "three.exe",
                                                "Game.cue — …/USA/", "Game.cue — …/Europe/",
                                                "two.cue — …/x/", "three.exe — /psx/"}));
    gtk_menu_popdown(GTK_MENU(recentlyMenu));
    drain();
    EXPECT_TRUE(dialog.runUntilQuit([&] { gtk_menu_item_activate(GTK_MENU_ITEM(items[1])); }));
    EXPECT_EQ(fileValue("current"), "/gone/folder/two.cue");
    EXPECT_EQ(fileValue("0"), "/gone/folder/two.cue");
    EXPECT_EQ(fileValue("1"), "/psx/one.cue");
}

TEST(CdromProperties, EachControlStoresItsFieldAndShowsClampedValues) {
    Dialog dialog;
    dialog.start();
    struct Spin {
        const char* id;
        int32_t* field;
        double typed;
        int32_t stored, high, low;
    } spins[] = {
        {"spinbuttonMainCDXAVolumeLevel", &settings.cdxavolumelevel, 41.6, 42, 100, 0},
        {"spinbuttonMainCDDAVolumeLevel", &settings.cddavolumelevel, 7, 7, 100, 0},
        {"spinbuttonMainSpeedLimitation", &settings.speedlimitation, 12, 12, 32, 0},
        {"spinbuttonMainAgainOnError", &settings.tryagainonerror, 3, 3, 16, 0},
        {"spinbuttonMainCacheSize", &settings.cachinglevel, 5000, 5000, 100000, 10},
    };
    for (const Spin& s : spins) {
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(dialog.widget(s.id)), s.typed);
        EXPECT_EQ(*s.field, s.stored) << s.id;
        *s.field = s.high + 1000;
        on_tab_main_update();
        EXPECT_EQ(*s.field, s.high) << s.id;
        *s.field = s.low - 5;
        on_tab_main_update();
        EXPECT_EQ(*s.field, s.low) << s.id;
        EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(dialog.widget(s.id))), s.low);
    }
    struct Toggle {
        const char* id;
        int32_t* field;
    } toggles[] = {
        {"checkbuttonMainCDXAPlaying", &settings.playcdxa},
        {"checkbuttonMainCDDAPlaying", &settings.playcdda},
        {"checkbuttonMainReadSubchannels", &settings.readsubchannels},
        {"checkbuttonMainPPFPatching", &settings.ppfpatching},
    };
    for (const Toggle& t : toggles) {
        GtkToggleButton* button = GTK_TOGGLE_BUTTON(dialog.widget(t.id));
        for (bool on : {false, true, false}) {
            gtk_toggle_button_set_active(button, on);
            EXPECT_EQ(*t.field, on ? 1 : 0) << t.id;
        }
        *t.field = 1;
        on_tab_main_update();
        EXPECT_TRUE(gtk_toggle_button_get_active(button)) << t.id;
    }
    GtkComboBox* spindown = GTK_COMBO_BOX(dialog.widget("comboboxMainSpinDownTime"));
    GtkComboBox* caching = GTK_COMBO_BOX(dialog.widget("comboboxMainCaching"));
    gtk_combo_box_set_active(spindown, 15);
    EXPECT_EQ(settings.spindowntime, 15);
    gtk_combo_box_set_active(caching, 0);
    EXPECT_EQ(settings.caching, 0);
    settings.caching = 1;
    on_tab_main_update();
    EXPECT_EQ(gtk_combo_box_get_active(caching), 1);
    // The CDXA controls show the stored values but cannot be changed.
    for (const char* id : {"checkbuttonMainCDXAPlaying", "spinbuttonMainCDXAVolumeLevel",
                           "labelMainCDXAVolumeLevel"})
        EXPECT_FALSE(gtk_widget_get_sensitive(dialog.widget(id))) << id;
}

TEST(CdromProperties, ASpinDownIndexWithNoEntryLeavesTheComboEmptyAndSavesMinusOne) {
    for (const char* stored : {"16", "600"}) {
        Dialog dialog;
        dialog.startWith(std::string("[cdrom property]\nspindowntime = ") + stored + "\n");
        EXPECT_EQ(
            gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.widget("comboboxMainSpinDownTime"))), -1);
        EXPECT_EQ(settings.spindowntime, -1);
        EXPECT_TRUE(dialog.leave("ok"));
        EXPECT_EQ(fileValue("spindowntime"), "-1") << stored;
    }
}

// Answers what a click of "Calc md5" shows: each result dialog is closed,
// its text kept; with cancel, the progress window's Cancel is clicked at
// once, the progress text it showed kept.
struct Md5Watch {
    Responder responder;
    std::vector<std::string>& messages = responder.messages;
    std::vector<std::string> progress;

    explicit Md5Watch(bool cancel = false) {
        responder.answerMessages();
        if (cancel)
            responder.onWindow("md5 control sum", [this](GtkWindow* window) {
                progress.push_back(findProgress(GTK_WIDGET(window)));
                clickCancel(GTK_WIDGET(window));
                return true;
            });
    }
    static std::string findProgress(GtkWidget* w) {
        GtkWidget* bar = testsupport::findWidget(w, GTK_TYPE_PROGRESS_BAR);
        const gchar* text = bar ? gtk_progress_bar_get_text(GTK_PROGRESS_BAR(bar)) : nullptr;
        return text ? text : "";
    }
    // Clicks the first button found, which may close the window.
    static void clickCancel(GtkWidget* w) {
        if (GtkWidget* button = testsupport::findWidget(w, GTK_TYPE_BUTTON))
            gtk_button_clicked(GTK_BUTTON(button));
    }
};

TEST(CalcMd5, ShowsTheDigestOfTheImagesDataFile) {
    Dialog dialog;
    dialog.start();
    mkdir("folder.exe", 0755);
    writeFile("A.bin", "abc");
    writeFile("B.mdf", "");
    writeFile("C.bin", "a");
    writeFile("D.exe", "message digest");
    writeFile("E.img",
              "12345678901234567890123456789012345678901234567890123456789012345678901234567890");
    writeFile("F.cue", "not hashed: F.bin is missing");
    // Drives of the device list: one that is not there, one without a disc.
    const std::string noDrive = dialog.dir.path() + "/sr9";
    const std::string emptyDrive = testsupport::emptyBlockDevice();
    cdsearchAddDevice(noDrive.c_str());
    if (!emptyDrive.empty()) cdsearchAddDevice(emptyDrive.c_str());
    struct Case {
        std::string current;
        const char* digest;  // RFC 1321 test suite; "" for no dialog
        const char* line;    // why no sum comes
    } cases[] = {
        {"A.CUE", "900150983cd24fb0d6963f7d28e17f72", ""},
        {"B.mds", "d41d8cd98f00b204e9800998ecf8427e", ""},
        {"C.toc", "0cc175b9c0f1b6a831c399e269772661", ""},
        {"D.exe", "f96b697d7cb7938d525a2f31aaf161d0", ""},
        {"E.ccd", "57edf4a22be3c955ac49da2e2107b67a", ""},
        {"F.cue", "", "No data file: F.bin"},
        {"missing.exe", "", "No data file: missing.exe"},
        {"folder.exe", "", "The data file cannot be read: folder.exe"},  // not empty data
        {noDrive, "", "There is no such drive"},
        {"/dev/discwren-sr9", "", "There is no such drive"},  // a drive no longer listed
        {emptyDrive, "", "No disc in the drive"},             // never the sum of nothing
    };
    for (const Case& c : cases) {
        if (c.current.empty()) continue;  // no empty drive to read
        Md5Watch watch;
        const std::string current =
            c.current[0] == '/' ? c.current : joinPath(dialog.dir.path(), c.current);
        snprintf(settings.current, sizeof settings.current, "%s", current.c_str());
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainCalcMd5")));
        testsupport::waitForMd5();
        if (*c.digest)
            EXPECT_EQ(watch.messages, std::vector<std::string>{c.digest}) << c.current;
        else
            EXPECT_TRUE(watch.messages.empty()) << c.current;
        if (*c.line) {
            EXPECT_EQ(testsupport::stateLine(), c.line) << c.current;
        }
    }
}

TEST(CalcMd5, ABigFileShowsProgressAndCancelGivesNoResult) {
    Dialog dialog;
    dialog.start();
    static_assert(MD5_PROGRESS_THRESHOLD * 3 == 12 << 20, "the digest below is of 12 MiB");
    std::string data(12 << 20, '\0');
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<char>(i * 7 + (i >> 13));
    writeFile("big.exe", data);
    const char hex[] = "39553e693d585ecffb966f8c4719659d";  // md5sum of those bytes
    snprintf(settings.current, sizeof settings.current, "%s/big.exe", dialog.dir.path().c_str());

    for (bool cancel : {true, false}) {
        Md5Watch watch(cancel);
        // Runs at the first pause between blocks, while the window is up.
        g_idle_add(
            [](gpointer data) -> gboolean {
                static_cast<Responder*>(data)->check();
                return FALSE;
            },
            &watch.responder);
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainCalcMd5")));
        testsupport::waitForMd5();
        if (cancel) {
            ASSERT_FALSE(watch.progress.empty());
            EXPECT_NE(watch.progress[0].find('%'), std::string::npos) << watch.progress[0];
            EXPECT_TRUE(watch.messages.empty());
        } else {
            EXPECT_EQ(watch.messages, std::vector<std::string>{hex});
        }
    }
}

// The path of image i of startWithDiscs.
std::string discPath(const Dialog& dialog, int i) {
    char name[32];
    snprintf(name, sizeof name, "/games/disc%05d.cue", i);
    return dialog.dir.path() + name;
}

// Starts on 600 empty images, games/disc00000.cue to disc00599.cue, with
// image current chosen.
void startWithDiscs(Dialog& dialog, int current) {
    for (int i = 0; i < 600; i++) writeFile(discPath(dialog, i), "");
    dialog.startWith("[cd selection]\ncurrent = " + discPath(dialog, current) +
                     "\ncdimgdir0 = " + dialog.dir.path() + "/games/\n");
}

// The full paths a view of the CD list knows: all rows when the model is
// set on it, then each row the model says it inserted or deleted.
struct ViewMirror {
    std::vector<std::string> rows;

    static void reset(GObject* view, GParamSpec*, ViewMirror* self) {
        if (gtk_tree_view_get_model(GTK_TREE_VIEW(view))) self->rows = fullPaths();
    }
    static void inserted(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter,
                         ViewMirror* self) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, iter, CDLIST_FULL, &text, -1);
        int at = gtk_tree_path_get_indices(path)[0];
        ASSERT_LE(size_t(at), self->rows.size());
        self->rows.insert(self->rows.begin() + at, text ? text : "");
        g_free(text);
    }
    static void deleted(GtkTreeModel*, GtkTreePath* path, ViewMirror* self) {
        int at = gtk_tree_path_get_indices(path)[0];
        ASSERT_LT(size_t(at), self->rows.size());
        self->rows.erase(self->rows.begin() + at);
    }
    static std::vector<std::string> fullPaths() {
        return testsupport::listed("liststoreMainCDList", CDLIST_FULL);
    }
};

// Filters that change a few rows and filters that change hundreds take the
// two ways of refilling; both end with the catalogue's list, the cursor on
// the current disc's row and the view showing the model, told of every row
// that came or went.
TEST(CdList, SmallAndLargeRefillsShowTheCataloguesList) {
    Dialog dialog;
    startWithDiscs(dialog, 150);
    const std::string current = discPath(dialog, 150);
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkTreeModel* model = uiTreeModel("liststoreMainCDList");
    ViewMirror mirror;
    ViewMirror::reset(G_OBJECT(view), nullptr, &mirror);
    g_signal_connect(view, "notify::model", G_CALLBACK(ViewMirror::reset), &mirror);
    g_signal_connect(model, "row-inserted", G_CALLBACK(ViewMirror::inserted), &mirror);
    g_signal_connect(model, "row-deleted", G_CALLBACK(ViewMirror::deleted), &mirror);
    for (const char* filter :
         {"", "disc001", "disc0015", "disc00150", "disc0015", "", "5", "", "x", ""}) {
        typeFilter(filter);
        std::vector<std::string> expected;
        for (const std::string& item : testsupport::catalogueItems()) {
            expected.push_back(item.substr(item.rfind('/') + 1));
        }
        EXPECT_EQ(titles(), expected) << filter;
        EXPECT_EQ(gtk_tree_view_get_model(view), model);
        EXPECT_EQ(mirror.rows, ViewMirror::fullPaths()) << filter;
        int cursor = cursorRow();
        ASSERT_GE(cursor, std::string(filter) == "x" ? -1 : 0) << filter;
        if (cursor >= 0) {
            EXPECT_EQ(rows()[cursor].full, current) << filter;
        }
        EXPECT_EQ(std::string(settings.current), current);
    }
    g_signal_handlers_disconnect_by_data(view, &mirror);
    g_signal_handlers_disconnect_by_data(model, &mirror);
}

std::string idOf(int disc) {
    char id[16];
    snprintf(id, sizeof id, "SLUS-%05d", disc);
    return id;
}

// IDs arrive in bursts while the user looks at the list: each cell fills
// where it is, and the list, its cursor and its scroll position stay.
TEST(GameIds, ArrivingIdsFillTheirCellsInPlace) {
    Dialog dialog;
    startWithDiscs(dialog, 300);
    const std::string games = dialog.dir.path() + "/games/";
    const auto disc = [&](int i) { return discPath(dialog, i); };
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkAdjustment* scroll = gtk_tree_view_get_vadjustment(view);
    testsupport::waitFor([&] { return gtk_adjustment_get_value(scroll) > 0; },
                         "the list scrolled to the current disc");
    const double offset = gtk_adjustment_get_value(scroll);
    const std::vector<std::string> shown = titles();
    const int cursor = cursorRow();
    ASSERT_EQ(cursor, 301);
    // The empty sheets' own reads end first: an ID taken then is what is known.
    testsupport::waitFor([] { return gameidsPending() == 0; }, "the list's reads");

    // Every disc at once, one without an ID, one not listed, one twice.
    for (int i = 0; i < 600; i++) gameidsTake(disc(i), i == 7 ? "" : idOf(i));
    gameidsTake(games + "gone.cue", "SCES-00001");
    gameidsTake(disc(5), "SLPS-01300");
    gameidsTake(disc(9), "SLUS\xff");
    const auto expected = [&](int i) {
        return i == 7 ? "" : i == 5 ? "SLPS-01300" : i == 9 ? "SLUS\xef\xbf\xbd" : idOf(i);
    };
    testsupport::waitFor(
        [] { return !testsupport::cell("liststoreMainCDList", 600, CDLIST_GAMEID).empty(); },
        "the last row's ID");
    std::vector<std::string> ids = testsupport::listed("liststoreMainCDList", CDLIST_GAMEID);
    ASSERT_EQ(ids.size(), 601u);
    EXPECT_EQ(ids[0], "");  // the no-disc entry
    for (int i = 0; i < 600; i++) ASSERT_EQ(ids[i + 1], expected(i)) << i;
    EXPECT_EQ(titles(), shown);
    EXPECT_EQ(cursorRow(), cursor);
    EXPECT_EQ(gtk_adjustment_get_value(scroll), offset);

    // A filtered list takes IDs too, and rows put back show what is known.
    typeFilter("disc00150");
    gameidsTake(disc(150), "SLES-00150");
    gameidsTake(disc(151), "SLES-00151");
    drain();
    EXPECT_EQ(testsupport::listed("liststoreMainCDList", CDLIST_GAMEID),
              std::vector<std::string>{"SLES-00150"});
    typeFilter("");
    ids = testsupport::listed("liststoreMainCDList", CDLIST_GAMEID);
    ASSERT_EQ(ids.size(), 601u);
    EXPECT_EQ(ids[151], "SLES-00150");
    EXPECT_EQ(ids[152], "SLES-00151");
    EXPECT_EQ(ids[600], expected(599));

    // The IDs stay out of the settings file.
    EXPECT_TRUE(dialog.leave("ok"));
    EXPECT_EQ(readFile("discWren.ini").find("SL"), std::string::npos);
}

// An empty list has no menu to offer; the button wakes when the list gains
// an entry, as when OK could not save and the dialog stays open.
TEST(RecentlyOpened, TheButtonIsInsensitiveWhileTheListIsEmpty) {
    Dialog dialog;
    ASSERT_EQ(mkdir("discWren.ini", 0755), 0);  // OK cannot save
    dialog.start();
    GtkWidget* button = dialog.widget("buttonMainRecentlyOpened");
    EXPECT_FALSE(gtk_widget_get_sensitive(button));
    snprintf(settings.current, sizeof settings.current, "/psx/one.cue");
    Responder responder;
    responder.answerMessages();
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainOk")));
    ASSERT_EQ(responder.messages.size(), 1u);
    EXPECT_TRUE(gtk_widget_get_sensitive(button));
}

TEST(GetId, SensitiveWhileTheCurrentDiscIsOne) {
    const struct {
        const char* current;
        bool sensitive;
    } cases[] = {
        {"", false},
        {"No CD (bios shell)", false},
        {"/psx/one.cue", true},
        {"/dev/cdrom", true},
    };
    for (const auto& c : cases) {
        Dialog dialog;
        dialog.startWith(std::string("[cd selection]\ncurrent = ") + c.current +
                         "\n[recently]\n0 = No CD (bios shell)\n1 = /psx/two.cue\n");
        // "Calc md5" follows the same rule.
        auto expect = [&](bool sensitive) {
            for (const char* id : {"buttonMainGetID", "buttonMainCalcMd5"})
                EXPECT_EQ(gtk_widget_get_sensitive(dialog.widget(id)), sensitive)
                    << c.current << " " << id;
        };
        expect(c.sensitive);
        // The cursor and the recently opened menu change the current disc too.
        putCursor(0);
        expect(false);
        popupmenu_item1_selected(nullptr, nullptr);
        expect(true);
        popupmenu_item0_selected(nullptr, nullptr);
        expect(false);
    }
}

// What a read of the disc ID gives shows under the list, without the bar,
// for a few seconds; the list keeps its height as the line comes and goes.
TEST(GetId, TheLineUnderTheListShowsEachResultForAWhile) {
    Dialog dialog;
    dialog.start();
    auto listHeight = [] {
        drain();
        GtkAllocation area;
        gtk_widget_get_allocation(uiWidget("scrolledwindowMainCDList"), &area);
        return area.height;
    };
    const int height = listHeight();
    const struct {
        GameIdResult result;
        const char* id;
        const char* line;
    } cases[] = {
        {GAMEID_FOUND, "SLUS-00330", "SLUS-00330"},
        {GAMEID_NONE, "", "This disc has no game ID"},
        {GAMEID_NO_DISC, "", "No disc in the drive"},
        {GAMEID_UNREADABLE, "", "The disc cannot be read"},
        {GAMEID_NO_DRIVE, "", "There is no such drive"},
        {GAMEID_NO_ANSWER, "", "The disc does not answer"},
    };
    bool bar = true;
    for (const auto& c : cases) {
        tabMainShowGameId(c.result, c.id);
        EXPECT_EQ(testsupport::stateLine(&bar), c.line);
        EXPECT_FALSE(bar) << c.line;
        EXPECT_EQ(listHeight(), height) << c.line;
    }
    testsupport::waitFor([] { return testsupport::stateLine().empty(); }, "the result to go");
    EXPECT_EQ(listHeight(), height);

    // A click reads the current disc: a missing one cannot be read, a real
    // one shows its ID there and in its row; the no-disc entry is not read.
    GtkButton* getId = GTK_BUTTON(dialog.widget("buttonMainGetID"));
    snprintf(settings.current, sizeof settings.current, "No CD (bios shell)");
    gtk_button_clicked(getId);
    EXPECT_EQ(testsupport::stateLine(), "");
    const struct {
        std::string current;
        const char* line;
    } reads[] = {{"/psx/one.cue", "The disc cannot be read"},
                 {dialog.dir.path() + "/games/Alpha.cue", "SLUS-00330"}};
    ASSERT_FALSE(testsupport::writeDisc("games", "Alpha", "SLUS_003.30").empty());
    for (const auto& read : reads) {
        snprintf(settings.current, sizeof settings.current, "%s", read.current.c_str());
        gtk_button_clicked(getId);
        testsupport::waitFor([&] { return testsupport::stateLine() == read.line; }, read.line);
        EXPECT_NE(gameidsFind(read.current) != nullptr, read.line[0] == 'T') << read.line;
    }
}

}  // namespace
