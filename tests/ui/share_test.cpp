// The dialog with its image folder on a share whose listings hang until the
// test lets them go: the window, the filter and the ways out never wait for it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "settings/settings.h"
#include "support/gui.h"
#include "support/slowfs.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

using testsupport::Dialog;
using testsupport::readFile;
using testsupport::SlowFs;
using testsupport::writeFile;

namespace {

class HeldShare : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!SlowFs::available(&why)) GTEST_SKIP() << why;
        std::string source = server.path() + "/games";
        mkdir(source.c_str(), 0755);
        mkdir((source + "/sub").c_str(), 0755);
        writeFile(source + "/sub/Alpha.cue", "");
        writeFile(source + "/sub/Beta.cue", "");
        share = std::make_unique<SlowFs>(source, 0, true);
        ASSERT_TRUE(share->mounted()) << share->error();
        chosen = share->path() + "/sub/Beta.cue";
        settingsFile =
            "[cd selection]\ncdimgdir0 = " + share->path() + "/\ncurrent = " + chosen + "\n";
    }

    // Starts the dialog and waits until its scan hangs in a listing.
    void startHeld(Dialog& dialog) {
        writeFile(dialog.dir.path() + "/discWren.ini", settingsFile);
        dialog.start(false);
        std::string held;
        ASSERT_TRUE(share->waitHeld(&held));
    }

    static std::vector<std::string> rows() {
        std::vector<std::string> names;
        GtkTreeModel* model =
            GTK_TREE_MODEL(gtk_builder_get_object(builder, "liststoreMainCDList"));
        GtkTreeIter iter;
        for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
             more = gtk_tree_model_iter_next(model, &iter)) {
            gchar* name = nullptr;
            gtk_tree_model_get(model, &iter, CDLIST_TITLE, &name, -1);
            names.push_back(name);
            g_free(name);
        }
        return names;
    }

    static int cursorRow() {
        GtkTreePath* path = nullptr;
        gtk_tree_view_get_cursor(GTK_TREE_VIEW(uiWidget("treeviewMainCDList")), &path, nullptr);
        int row = path ? gtk_tree_path_get_indices(path)[0] : -1;
        if (path) gtk_tree_path_free(path);
        return row;
    }

    testsupport::ScratchDir server;
    std::unique_ptr<SlowFs> share;  // goes after the dialog: held listings are let go then
    std::string chosen;
    std::string settingsFile;
};

TEST_F(HeldShare, TheWindowAndTheFilterAnswerAndTheListCompletesOnRelease) {
    Dialog dialog;
    startHeld(dialog);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(windowMain)));
    EXPECT_TRUE(gtk_widget_get_visible(uiWidget("hboxMainScan")));
    EXPECT_EQ(rows(), std::vector<std::string>{"No CD (bios shell)"});

    // Keystrokes filter what is known without waiting for the share.
    GtkEntry* filter = GTK_ENTRY(uiWidget("entryMainFilterText"));
    gtk_entry_set_text(filter, "beta");
    EXPECT_EQ(rows(), std::vector<std::string>{});
    gtk_entry_set_text(filter, "");
    EXPECT_EQ(rows(), std::vector<std::string>{"No CD (bios shell)"});
    EXPECT_EQ(settings.current, chosen);
    EXPECT_TRUE(cdsearchScanBusy());

    ASSERT_TRUE(share->release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    EXPECT_EQ(rows(), (std::vector<std::string>{"No CD (bios shell)", "Alpha.cue", "Beta.cue"}));
    EXPECT_EQ(cursorRow(), 2);
    EXPECT_EQ(settings.current, chosen);
    EXPECT_FALSE(gtk_widget_get_visible(uiWidget("hboxMainScan")));
}

// Every way out ends the dialog while the listing still hangs.
TEST_F(HeldShare, EveryWayOutEndsTheDialogWhileAListingHangs) {
    for (const char* how : {"ok", "cancel", "close", "activate"}) {
        Dialog dialog;
        startHeld(dialog);
        EXPECT_TRUE(dialog.runUntilQuit([&] {
            std::string way = how;
            if (way == "ok") {
                gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainOk")));
            } else if (way == "cancel") {
                gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainCancel")));
            } else if (way == "close") {
                testsupport::closeWindow(windowMain);
            } else {
                GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
                GtkTreePath* path = gtk_tree_path_new_from_indices(0, -1);
                gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
                gtk_tree_view_row_activated(view, path, gtk_tree_view_get_column(view, 0));
                gtk_tree_path_free(path);
            }
        })) << how;
        // Still hanging: the dialog did not wait for it.
        EXPECT_TRUE(cdsearchScanBusy()) << how;
        std::string file = readFile(dialog.dir.path() + "/discWren.ini");
        std::string way = how;
        if (way == "ok") {
            EXPECT_NE(file.find("current                        = " + chosen + "\n"),
                      std::string::npos)
                << file;
        } else if (way == "activate") {
            EXPECT_NE(file.find("current                        = No CD (bios shell)\n"),
                      std::string::npos)
                << file;
        } else {
            EXPECT_EQ(file, settingsFile) << how;
        }
    }
}

}  // namespace
