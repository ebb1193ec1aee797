// The CD list editor on the real UI definition: choosers, removal, OK and CANCEL.
#include "ui/window_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "catalogue/cdsearch.h"
#include "settings/settingsfile.h"
#include "support/gui.h"
#include "ui/ui.h"

using testsupport::Dialog;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::settle;
using testsupport::waitForCatalogue;
using testsupport::writeFile;

namespace {

std::vector<std::string> listed(const char* store) {
    std::vector<std::string> all;
    GtkTreeModel* model = GTK_TREE_MODEL(gtk_builder_get_object(builder, store));
    GtkTreeIter iter;
    for (bool ok = gtk_tree_model_get_iter_first(model, &iter); ok;
         ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        all.push_back(text);
        g_free(text);
    }
    return all;
}

int mainListRows() {
    return gtk_tree_model_iter_n_children(
        GTK_TREE_MODEL(gtk_builder_get_object(builder, "liststoreMainCDList")), nullptr);
}

// Answers the next file chooser: picks path (nothing when empty) and accepts,
// or cancels. Records the folder the chooser opened in.
struct ChooserAnswer {
    explicit ChooserAnswer(std::string pick, bool acceptIt = true)
        : path(std::move(pick)), accept(acceptIt) {}
    std::string path;
    bool accept;
    std::string openedIn;
    int polls = 0;
    bool picked = false;

    static gboolean poll(gpointer data) {
        auto* self = static_cast<ChooserAnswer*>(data);
        GtkWidget* chooser = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* it = windows; it; it = it->next)
            if (GTK_IS_FILE_CHOOSER_DIALOG(it->data) &&
                gtk_widget_get_visible(GTK_WIDGET(it->data)))
                chooser = GTK_WIDGET(it->data);
        g_list_free(windows);
        if (!chooser) return TRUE;
        if (!self->picked) {
            gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
            self->openedIn = folder ? folder : "";
            g_free(folder);
            if (!self->path.empty())
                gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), self->path.c_str());
            self->picked = true;
            return TRUE;
        }
        // The chooser loads folders in the background: wait for the pick.
        gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        bool ready = self->path.empty() || (chosen && self->path == chosen);
        g_free(chosen);
        if (!ready && ++self->polls < 200) return TRUE;
        gtk_dialog_response(GTK_DIALOG(chooser),
                            self->accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        return FALSE;
    }
    void click(const char* button) {
        guint source = g_timeout_add(20, poll, this);
        gtk_button_clicked(GTK_BUTTON(uiWidget(button)));
        if (picked) return;  // the poll removed itself
        g_source_remove(source);
    }
};

void selectRow(const char* view, int row) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(uiWidget(view))),
                                   path);
    gtk_tree_path_free(path);
}

TEST(Editor, OpensOverTheMainWindowAndWritesTheSnapshot) {
    Dialog dialog;
    writeFile("discWren.ini",
              "[cd selection]\ncddev0 = /dev/sr1\ncddev1 = /dev/cdrom\ncdimgdir0 = /psx/\n");
    dialog.start();
    settings.cddavolumelevel = 33;
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    settle(100);
    ASSERT_EQ(windowEditor, GTK_WINDOW(uiWidget("windowEditor")));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(windowEditor)));
    EXPECT_TRUE(gtk_window_get_modal(windowEditor));
    ASSERT_NE(gtk_window_get_icon(windowEditor), nullptr);
    // The first build sorted the devices by name.
    EXPECT_EQ(listed("liststoreEditorCdroms"),
              (std::vector<std::string>{"/dev/cdrom", "/dev/sr1"}));
    EXPECT_EQ(listed("liststoreEditorDirectories"), std::vector<std::string>{"/psx/"});
    int mx, my, ex, ey, w, h;
    gtk_window_get_position(windowMain, &mx, &my);
    gtk_window_get_position(windowEditor, &ex, &ey);
    gtk_window_get_size(windowEditor, &w, &h);
    EXPECT_EQ(ex, mx);
    EXPECT_EQ(ey, my);
    EXPECT_LE(w, desktopWidth);
    EXPECT_LE(h, desktopHeight);
    EXPECT_NE(readFile("discWren.ini").find("cddavolumelevel                = 33\n"),
              std::string::npos);
}

TEST(Editor, AddRemoveAndOkSaveTheListsAndRefreshTheMainWindow) {
    Dialog dialog;
    mkdir("games", 0755);
    writeFile("games/one.cue", "");
    writeFile("drive", "");
    writeFile("discWren.ini", "[cd selection]\ncddev0 = /dev/sr9\n");
    dialog.start();
    EXPECT_EQ(mainListRows(), 2);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    const std::string here = dialog.dir.path();

    ChooserAnswer device(here + "/drive");
    device.click("buttonEditorAddCdrom");
    EXPECT_EQ(device.openedIn, "/dev");
    EXPECT_EQ(listed("liststoreEditorCdroms"),
              (std::vector<std::string>{"/dev/sr9", here + "/drive"}));
    ChooserAnswer again(here + "/drive");
    again.click("buttonEditorAddCdrom");
    EXPECT_EQ(again.openedIn, here);                        // where the last device was found
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);  // not added twice
    ChooserAnswer cancelled(here + "/games/one.cue", false);
    cancelled.click("buttonEditorAddCdrom");
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);

    ChooserAnswer folder(here + "/games");
    folder.click("buttonEditorAddDirectory");
    EXPECT_EQ(folder.openedIn, "/");
    EXPECT_EQ(listed("liststoreEditorDirectories"), std::vector<std::string>{here + "/games/"});

    // Remove with nothing selected does nothing; then the selected device goes.
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);
    selectRow("treeviewEditorCdroms", 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
    EXPECT_EQ(listed("liststoreEditorCdroms"), std::vector<std::string>{here + "/drive"});

    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorOk")));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(windowEditor)));
    std::string file = readFile("discWren.ini");
    EXPECT_NE(file.find("cddev0                         = " + here + "/drive\n"), std::string::npos)
        << file;
    EXPECT_EQ(file.find("/dev/sr9"), std::string::npos);
    EXPECT_NE(file.find("cdimgdir0                      = " + here + "/games/\n"),
              std::string::npos);
    // No disc, the new device and the image found in the new folder.
    waitForCatalogue();
    EXPECT_EQ(mainListRows(), 3);

    // Removing the folder and cancelling brings it back.
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    selectRow("treeviewEditorDirectories", 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveDirectory")));
    EXPECT_EQ(cdsearchDirectoryQuantity(), 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
    ASSERT_EQ(cdsearchDirectoryQuantity(), 1);
    EXPECT_EQ(std::string(cdsearchDirectoryGet(0)), here + "/games/");
}

TEST(Editor, CancelAndClosingRestoreTheListsAndSettings) {
    for (bool close : {false, true}) {
        for (bool snapshotWritable : {true, false}) {
            Dialog dialog;
            if (snapshotWritable)
                writeFile("discWren.ini", "[cd selection]\ncddev0 = /dev/sr0\ncdimgdir0 = /psx/\n");
            else
                mkdir("discWren.ini", 0755);  // the snapshot cannot be written
            dialog.start();
            if (!snapshotWritable) {
                cdsearchAddDevice("/dev/sr0");
                cdsearchAddDirectory("/psx/");
            }
            gtk_spin_button_set_value(
                GTK_SPIN_BUTTON(dialog.widget("spinbuttonMainCDDAVolumeLevel")), 40);
            gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
            selectRow("treeviewEditorCdroms", 0);
            gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
            cdsearchAddDirectory("/elsewhere/");
            EXPECT_EQ(cdsearchDeviceQuantity(), 0);
            if (close) {
                GdkEvent* event = gdk_event_new(GDK_DELETE);
                event->any.window =
                    GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(windowEditor))));
                gtk_main_do_event(event);
                gdk_event_free(event);
            } else {
                gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
            }
            SCOPED_TRACE(std::string(close ? "close" : "cancel") +
                         (snapshotWritable ? "" : ", snapshot not written"));
            EXPECT_FALSE(gtk_widget_get_visible(uiWidget("windowEditor")));
            ASSERT_EQ(cdsearchDeviceQuantity(), 1);
            EXPECT_STREQ(cdsearchDeviceGet(0)->name, "sr0");
            ASSERT_EQ(cdsearchDirectoryQuantity(), 1);
            EXPECT_STREQ(cdsearchDirectoryGet(0), "/psx/");
            EXPECT_EQ(settings.cddavolumelevel, 40);
            // The editor is hidden, never destroyed: it opens again.
            gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
            EXPECT_TRUE(gtk_widget_get_visible(uiWidget("windowEditor")));
            gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
        }
    }
}

TEST(Editor, OkThatCannotSaveSaysSoAndStaysOpen) {
    Dialog dialog;
    mkdir("discWren.ini", 0755);  // a folder where the file belongs
    dialog.start();
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    cdsearchAddDirectory("/psx/");
    std::string seen;
    g_timeout_add(
        200,
        [](gpointer data) -> gboolean {
            GtkMessageDialog* message = testsupport::visibleMessageDialog();
            if (!message) return FALSE;
            gchar* text = nullptr;
            g_object_get(message, "text", &text, nullptr);
            *static_cast<std::string*>(data) = text ? text : "";
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(message), GTK_RESPONSE_CLOSE);
            return FALSE;
        },
        &seen);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorOk")));
    EXPECT_NE(seen.find("could not be saved"), std::string::npos) << seen;
    // The editor stays open with the list as edited.
    EXPECT_TRUE(gtk_widget_get_visible(uiWidget("windowEditor")));
    EXPECT_EQ(cdsearchDirectoryQuantity(), 1);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
}

}  // namespace
