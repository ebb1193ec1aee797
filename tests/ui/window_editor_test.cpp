// The CD list editor on the real UI definition: choosers, removal, OK and CANCEL.
#include "ui/window_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "settings/settingsfile.h"
#include "support/gui.h"
#include "ui/ui.h"

using testsupport::Dialog;
using testsupport::fileExists;
using testsupport::fileValue;
using testsupport::listed;
using testsupport::readFile;
using testsupport::Responder;
using testsupport::waitFor;
using testsupport::waitForCatalogue;
using testsupport::writeFile;

namespace {

// Clicks a button that opens a file chooser and answers it: picks path
// (nothing when empty) and accepts, or cancels. Tells the folder the chooser
// opened in.
std::string choose(const char* button, const std::string& path, bool accept = true) {
    Responder responder;
    Responder::Pick pick;
    pick.path = path;
    pick.accept = accept;
    responder.answerChooser(&pick);
    gtk_button_clicked(GTK_BUTTON(uiWidget(button)));  // returns once the chooser is answered
    EXPECT_TRUE(pick.answered) << button;
    return pick.openedIn;
}

void selectRow(const char* view, int row) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(uiWidget(view))),
                                   path);
    gtk_tree_path_free(path);
}

TEST(Editor, OpensOverTheMainWindow) {
    Dialog dialog;
    dialog.startWith("[cd selection]\ncddev0 = /dev/sr1\ncddev1 = /dev/cdrom\ncdimgdir0 = /psx/\n");
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    ASSERT_EQ(windowEditor, GTK_WINDOW(uiWidget("windowEditor")));
    waitFor([] { return testsupport::shownOnScreen(GTK_WIDGET(windowEditor)); },
            "the editor on screen");
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
}

TEST(Editor, AddRemoveAndOkSaveTheListsAndRefreshTheMainWindow) {
    Dialog dialog;
    writeFile("games/one.cue", "");
    writeFile("drive", "");
    dialog.startWith("[cd selection]\ncddev0 = /dev/sr9\n");
    EXPECT_EQ(testsupport::rows().size(), 2u);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    const std::string here = dialog.dir.path();

    EXPECT_EQ(choose("buttonEditorAddCdrom", here + "/drive"), "/dev");
    EXPECT_EQ(listed("liststoreEditorCdroms"),
              (std::vector<std::string>{"/dev/sr9", here + "/drive"}));
    // Next time where the last device was found; the same device is not added twice.
    EXPECT_EQ(choose("buttonEditorAddCdrom", here + "/drive"), here);
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);
    choose("buttonEditorAddCdrom", here + "/games/one.cue", false);
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);

    EXPECT_EQ(choose("buttonEditorAddDirectory", here + "/games"), "/");
    EXPECT_EQ(listed("liststoreEditorDirectories"), std::vector<std::string>{here + "/games/"});

    // Remove with nothing selected does nothing; then the selected device goes.
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
    EXPECT_EQ(listed("liststoreEditorCdroms").size(), 2u);
    selectRow("treeviewEditorCdroms", 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
    EXPECT_EQ(listed("liststoreEditorCdroms"), std::vector<std::string>{here + "/drive"});

    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorOk")));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(windowEditor)));
    EXPECT_EQ(fileValue("cddev0"), here + "/drive");
    EXPECT_EQ(readFile("discWren.ini").find("/dev/sr9"), std::string::npos);
    EXPECT_EQ(fileValue("cdimgdir0"), here + "/games/");
    // No disc, the new device and the image found in the new folder.
    waitForCatalogue();
    EXPECT_EQ(testsupport::rows().size(), 3u);

    // Removing the folder and cancelling brings it back.
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    selectRow("treeviewEditorDirectories", 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveDirectory")));
    EXPECT_EQ(cdsearchDirectoryQuantity(), 0);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
    ASSERT_EQ(cdsearchDirectoryQuantity(), 1);
    EXPECT_EQ(std::string(cdsearchDirectoryGet(0)), here + "/games/");
}

// The editor's CANCEL and closing put both lists back from memory; neither
// opening the editor nor leaving it so writes the file, and the main window's
// CANCEL then leaves it byte for byte as it was.
TEST(Editor, CancelAndClosingRestoreTheListsAndWriteNothing) {
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "cancel");
        Dialog dialog;
        const std::string ini = "[cd selection]\ncddev0 = /dev/sr0\ncdimgdir0 = /psx/\n";
        dialog.startWith(ini);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(dialog.widget("spinbuttonMainCDDAVolumeLevel")),
                                  40);
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
        selectRow("treeviewEditorCdroms", 0);
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorRemoveCdrom")));
        cdsearchAddDirectory("/elsewhere/");
        EXPECT_EQ(cdsearchDeviceQuantity(), 0);
        if (close) {
            testsupport::closeWindow(windowEditor);
        } else {
            gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
        }
        EXPECT_FALSE(gtk_widget_get_visible(uiWidget("windowEditor")));
        ASSERT_EQ(cdsearchDeviceQuantity(), 1);
        EXPECT_STREQ(cdsearchDeviceGet(0)->name, "sr0");
        ASSERT_EQ(cdsearchDirectoryQuantity(), 1);
        EXPECT_STREQ(cdsearchDirectoryGet(0), "/psx/");
        EXPECT_EQ(settings.cddavolumelevel, 40);
        EXPECT_EQ(readFile("discWren.ini"), ini);
        // The editor is hidden, never destroyed: it opens again.
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
        EXPECT_TRUE(gtk_widget_get_visible(uiWidget("windowEditor")));
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
        EXPECT_TRUE(dialog.leave("cancel"));
        EXPECT_EQ(readFile("discWren.ini"), ini);
    }
}

// A device or folder whose name the settings file cannot hold is refused with
// a message over the editor that shows the name as it is; the choosers move on
// all the same. Each run of the dialog starts them at their first folders,
// whatever the run before chose.
TEST(Editor, NamesTheFileCannotHoldAreRefusedWithAMessage) {
    const std::string odd = "it's \"<b>odd\"; folder &";
    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE("run " + std::to_string(run));
        Dialog dialog;
        ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
        writeFile(odd + "/drive", "");
        dialog.start();
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
        const std::string folder = dialog.dir.path() + "/" + odd;
        std::vector<std::string> messages;
        Responder responder;
        responder.onMessage([&](GtkWindow* message) {
            EXPECT_EQ(gtk_window_get_transient_for(message), windowEditor);
            gchar* text = nullptr;
            gboolean markup = TRUE;
            g_object_get(message, "text", &text, "use-markup", &markup, nullptr);
            EXPECT_FALSE(markup);
            messages.push_back(text);
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(message), GTK_RESPONSE_CLOSE);
            return true;
        });

        EXPECT_EQ(choose("buttonEditorAddCdrom", folder + "/drive"), "/dev");
        EXPECT_EQ(choose("buttonEditorAddDirectory", folder), "/");
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_NE(messages[0].find("\"" + folder + "/drive\" cannot be saved"), std::string::npos)
            << messages[0];
        EXPECT_NE(messages[1].find("\"" + folder + "/\" cannot be saved"), std::string::npos)
            << messages[1];
        EXPECT_TRUE(listed("liststoreEditorCdroms").empty());
        EXPECT_TRUE(listed("liststoreEditorDirectories").empty());
        EXPECT_EQ(choose("buttonEditorAddCdrom", "", false), folder);
        EXPECT_EQ(choose("buttonEditorAddDirectory", "", false), folder);

        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorOk")));
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(windowEditor)));
        const std::string file = readFile("discWren.ini");
        EXPECT_EQ(file.find("cddev"), std::string::npos) << file;
        EXPECT_EQ(file.find("cdimgdir"), std::string::npos) << file;
    }
}

TEST(Editor, OkThatCannotSaveSaysSoAndStaysOpen) {
    Dialog dialog;
    mkdir("discWren.ini", 0755);  // a folder where the file belongs
    dialog.start();
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
    cdsearchAddDirectory("/psx/");
    Responder responder;
    responder.answerMessages();
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorOk")));
    ASSERT_EQ(responder.messages.size(), 1u);
    EXPECT_NE(responder.messages[0].find("could not be saved"), std::string::npos)
        << responder.messages[0];
    // The editor stays open with the list as edited.
    EXPECT_TRUE(gtk_widget_get_visible(uiWidget("windowEditor")));
    EXPECT_EQ(cdsearchDirectoryQuantity(), 1);
    gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonEditorCancel")));
}

}  // namespace
