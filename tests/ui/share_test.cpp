// The dialog with its image folder on a share whose listings hang until the
// test lets them go: the window, the filter and the ways out never wait for it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "clients/md5job.h"
#include "disc/keptlist.h"
#include "settings/settings.h"
#include "support/discs.h"
#include "support/gui.h"
#include "support/slowfs.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

using testsupport::cursorRow;
using testsupport::Dialog;
using testsupport::fileValue;
using testsupport::readFile;
using testsupport::SlowFs;
using testsupport::titles;
using testsupport::writeFile;

namespace {

// The Game ID column of the CD list, row by row.
std::vector<std::string> shownIds() {
    return testsupport::listed("liststoreMainCDList", CDLIST_GAMEID);
}

class HeldShare : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SLOWFS();
        std::string source = server.path() + "/games";
        writeFile(source + "/sub/Alpha.cue", "");
        // The chosen disc is a real one: its read gives the ID the tests show.
        ASSERT_FALSE(testsupport::writeDisc(source + "/sub", "Beta", "SLUS_003.30").empty());
        share = std::make_unique<SlowFs>(source, 0, true);
        ASSERT_TRUE(share->mounted()) << share->error();
        chosen = share->path() + "/sub/Beta.cue";
        settingsFile =
            "[cd selection]\ncdimgdir0 = " + share->path() + "/\ncurrent = " + chosen + "\n";
    }

    // Starts the dialog and waits until its scan hangs in a listing.
    void startHeld(Dialog& dialog) {
        dialog.startWith(settingsFile, false);
        std::string held;
        ASSERT_TRUE(share->waitHeld(&held));
    }

    // Runs the main loop until the state under the list shows; its text.
    static std::string scanState() {
        while (testsupport::stateLine().empty()) g_main_context_iteration(nullptr, TRUE);
        return testsupport::stateLine();
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
    EXPECT_NE(testsupport::stateLine(), "");
    EXPECT_EQ(titles(), std::vector<std::string>{"No CD (bios shell)"});

    // Keystrokes filter what is known without waiting for the share.
    GtkEntry* filter = GTK_ENTRY(uiWidget("entryMainFilterText"));
    gtk_entry_set_text(filter, "beta");
    EXPECT_EQ(titles(), std::vector<std::string>{});
    gtk_entry_set_text(filter, "");
    EXPECT_EQ(titles(), std::vector<std::string>{"No CD (bios shell)"});
    EXPECT_EQ(settings.current, chosen);
    EXPECT_TRUE(cdsearchScanBusy());

    ASSERT_TRUE(share->release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    EXPECT_EQ(titles(), (std::vector<std::string>{"No CD (bios shell)", "Alpha.cue", "Beta.cue"}));
    EXPECT_EQ(cursorRow(), 2);
    EXPECT_EQ(settings.current, chosen);
    EXPECT_EQ(testsupport::stateLine(), "");
}

// A running scan's state wins the line under the list; the disc ID's result
// shows once the scan is done, while its time lasts, and the image listed
// with the scan shows the ID known for it.
TEST_F(HeldShare, TheScansStateWinsTheLineOverTheDiscId) {
    Dialog dialog;
    startHeld(dialog);
    const std::string scanning = scanState();
    gameidsTake(chosen, "SLUS-00330");
    const gint64 shownAt = g_get_monotonic_time();
    tabMainShowGameId(GAMEID_FOUND, "SLUS-00330");
    bool bar = false;
    EXPECT_EQ(testsupport::stateLine(&bar), scanning);
    EXPECT_TRUE(bar);

    ASSERT_TRUE(share->release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    EXPECT_EQ(testsupport::cell("liststoreMainCDList", 2, CDLIST_GAMEID), "SLUS-00330");
    std::string line = testsupport::stateLine(&bar);
    // A machine slow enough may have spent the result's seconds on the scan.
    if (g_get_monotonic_time() - shownAt < 4000 * 1000 || !line.empty()) {
        EXPECT_EQ(line, "SLUS-00330");
        EXPECT_FALSE(bar);
    }
    testsupport::waitFor([] { return testsupport::stateLine().empty(); }, "the result to go");
}

// The share listed once, then hanging again: after the editor's Cancel the
// images known narrow at each keystroke, nothing waiting for the share.
TEST_F(HeldShare, AfterTheEditorsCancelTheKnownImagesNarrowAtOnce) {
    Dialog dialog;
    startHeld(dialog);
    ASSERT_TRUE(share->release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    ASSERT_TRUE(share->hold());
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainEditCDList")));
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonEditorCancel")));

    GtkEntry* filter = GTK_ENTRY(uiWidget("entryMainFilterText"));
    gtk_entry_set_text(filter, "beta");
    EXPECT_EQ(titles(), std::vector<std::string>{"Beta.cue"});
    gtk_entry_set_text(filter, "");
    EXPECT_EQ(titles(), (std::vector<std::string>{"No CD (bios shell)", "Alpha.cue", "Beta.cue"}));
    EXPECT_EQ(settings.current, chosen);
}

// Every way out ends the dialog while the listing still hangs.
TEST_F(HeldShare, EveryWayOutEndsTheDialogWhileAListingHangs) {
    for (const char* how : {"ok", "cancel", "close", "activate"}) {
        Dialog dialog;
        startHeld(dialog);
        EXPECT_TRUE(dialog.leave(how)) << how;
        // Still hanging: the dialog did not wait for it.
        EXPECT_TRUE(cdsearchScanBusy()) << how;
        std::string way = how;
        if (way == "ok") {
            EXPECT_EQ(fileValue("current"), chosen);
        } else if (way == "activate") {
            EXPECT_EQ(fileValue("current"), "No CD (bios shell)");
        } else {
            EXPECT_EQ(readFile("discWren.ini"), settingsFile) << how;
        }
    }
}

// The images of the last complete read show at once at the next start while
// the share holds every listing; the check then corrects them and the file.
TEST_F(HeldShare, TheKeptListShowsAtOnceAndTheCheckCorrectsIt) {
    ASSERT_TRUE(share->release());
    std::string kept;
    {
        Dialog first;
        first.startWith(settingsFile);
        kept = readFile(first.dir.path() + "/discWren.images");
    }
    ASSERT_NE(kept.find("Alpha.cue"), std::string::npos);
    ASSERT_TRUE(share->hold());

    Dialog second;
    writeFile(second.dir.path() + "/discWren.images", kept);
    startHeld(second);
    EXPECT_EQ(titles(), (std::vector<std::string>{"No CD (bios shell)", "Alpha.cue", "Beta.cue"}));
    EXPECT_EQ(cursorRow(), 2);
    EXPECT_EQ(scanState(), "Checking the image folders for changes");

    // Removed on the server meanwhile: it goes once the share answers.
    ASSERT_EQ(unlink((server.path() + "/games/sub/Alpha.cue").c_str()), 0);
    ASSERT_TRUE(share->release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    EXPECT_EQ(titles(), (std::vector<std::string>{"No CD (bios shell)", "Beta.cue"}));
    EXPECT_EQ(cursorRow(), 1);
    EXPECT_EQ(readFile("discWren.images").find("Alpha.cue"), std::string::npos);
}

// A kept list that is damaged, or holds only folders no longer in the
// settings, shows nothing; a sound one shows the images of the folders listed.
TEST_F(HeldShare, OnlySoundKeptEntriesOfListedFoldersShow) {
    std::vector<KeptFolder> both = {{share->path() + "/", {share->path() + "/sub/Alpha.cue"}},
                                    {"/elsewhere/", {"/elsewhere/Gamma.cue"}}};
    std::string sound, otherOnly;
    ASSERT_TRUE(keptlistSerialise(both, &sound));
    ASSERT_TRUE(keptlistSerialise({both[1]}, &otherOnly));
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise += static_cast<char>(i * 131 + (i >> 5));
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> titles;
    } cases[] = {
        {"random bytes", noise, {"No CD (bios shell)"}},
        {"cut in half", sound.substr(0, sound.size() / 2), {"No CD (bios shell)"}},
        {"empty", "", {"No CD (bios shell)"}},
        {"another folder's", otherOnly, {"No CD (bios shell)"}},
        {"sound", sound, {"No CD (bios shell)", "Alpha.cue"}},
    };
    for (const Case& c : cases) {
        Dialog dialog;
        writeFile(dialog.dir.path() + "/discWren.images", c.bytes);
        startHeld(dialog);
        EXPECT_EQ(titles(), c.titles) << c.what;
    }
}

// "Calc md5" of an image on the share: the hash helper reads it there.
TEST_F(HeldShare, CalcMd5OfAnImageOnTheShareGivesItsDigest) {
    ASSERT_TRUE(share->release());
    writeFile(server.path() + "/games/sub/Alpha.bin", "abc");
    Dialog dialog;
    dialog.startWith(settingsFile);
    testsupport::Responder responder;
    responder.answerMessages();
    snprintf(settings.current, sizeof settings.current, "%s/sub/Alpha.cue", share->path().c_str());
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainCalcMd5")));
    testsupport::waitForMd5();
    // RFC 1321's digest of "abc".
    EXPECT_EQ(responder.messages, std::vector<std::string>{"900150983cd24fb0d6963f7d28e17f72"});
}

// Ending the dialog while "Calc md5" waits for the share stops the hash.
TEST_F(HeldShare, EndingTheDialogStopsARunningHash) {
    writeFile(server.path() + "/games/sub/Alpha.bin", "abc");
    {
        Dialog dialog;
        startHeld(dialog);
        snprintf(settings.current, sizeof settings.current, "%s/sub/Alpha.cue",
                 share->path().c_str());
        gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainCalcMd5")));
        ASSERT_TRUE(md5jobRunning());
    }
    EXPECT_FALSE(md5jobRunning());
}

// Real discs on a share whose reads can be held with its listings.
class KeptIds : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SLOWFS();
        const std::string source = server.path() + "/games";
        ASSERT_FALSE(testsupport::writeDisc(source, "Alpha", "SLUS_003.30").empty());
        ASSERT_FALSE(testsupport::writeDisc(source, "Beta", "SCES_012.34").empty());
        shared = std::make_unique<SlowFs>(source, 0, false, true);
        ASSERT_TRUE(shared->mounted()) << shared->error();
    }

    testsupport::ScratchDir server;
    std::unique_ptr<SlowFs> shared;
};

// The IDs read on a first start fill the column and are kept; a second start
// shows them with the kept names while the share holds every listing and
// read, and reads no image to show them.
TEST_F(KeptIds, ShowOnASecondStartWhileTheShareHoldsItsReads) {
    SlowFs& share = *shared;
    const std::string settingsFile = "[cd selection]\ncdimgdir0 = " + share.path() + "/\n";
    const std::vector<std::string> ids = {"", "SLUS-00330", "SCES-01234"};
    std::string kept;
    {
        Dialog first;
        first.startWith(settingsFile);
        testsupport::waitFor([&] { return shownIds() == ids; }, "the IDs in the column");
        // IDs that arrive in different turns are kept in turns of their own.
        testsupport::waitFor(
            [&] {
                const std::string file = readFile("discWren.images");
                return file.find("SLUS-00330") != std::string::npos &&
                       file.find("SCES-01234") != std::string::npos;
            },
            "the IDs kept");
        kept = readFile("discWren.images");
    }
    Dialog second;
    writeFile("discWren.ini", settingsFile);
    writeFile("discWren.images", kept);
    ASSERT_TRUE(share.hold());
    second.start(false);
    ASSERT_TRUE(share.waitHeld());
    EXPECT_EQ(titles(), (std::vector<std::string>{"No CD (bios shell)", "Alpha.cue", "Beta.cue"}));
    EXPECT_EQ(shownIds(), ids);
    ASSERT_TRUE(share.release());
    ASSERT_TRUE(testsupport::waitForCatalogue());
    EXPECT_EQ(shownIds(), ids);
}

// Discs whose reads the share holds, listed through links in a local folder
// (so the listing never waits): their Game ID cells show that they wait and
// the line how many are left; given up, the cells show a mark whose tooltip
// says why, and "Get ID" says the disc does not answer; "Update" reads them
// again once the share answers, and the readers given up are reaped.
TEST_F(KeptIds, CellsTellWaitingAndGivenUpReadsApart) {
    SlowFs& share = *shared;
    const size_t ownChildren = testsupport::childProcesses(getpid()).size();
    const std::string links = server.path() + "/links/";
    ASSERT_EQ(mkdir(links.c_str(), 0755), 0);
    for (const char* name : {"Alpha.cue", "Alpha.bin", "Beta.cue", "Beta.bin"})
        ASSERT_EQ(symlink((share.path() + "/" + name).c_str(), (links + name).c_str()), 0);
    ASSERT_TRUE(share.hold());
    auto dialog = std::make_unique<Dialog>();
    writeFile("discWren.ini",
              "[cd selection]\ncdimgdir0 = " + links + "\ncurrent = " + links + "Alpha.cue\n");
    dialog->start();
    ASSERT_TRUE(share.waitHeld());
    const std::vector<std::string> waiting = {"", CDLIST_WAITING, CDLIST_WAITING};
    testsupport::waitFor([&] { return shownIds() == waiting; }, "the cells waiting");
    testsupport::waitFor([] { return testsupport::stateLine() == "Reading disc IDs: 2 left"; },
                         "the IDs left on the line");

    gameidsSetWaits(0, 100);
    const std::vector<std::string> failed = {"", CDLIST_FAILED, CDLIST_FAILED};
    testsupport::waitFor([&] { return shownIds() == failed; }, "the reads given up");
    EXPECT_STREQ(tabMainIdTooltip((links + "Beta.cue").c_str()), "The disc does not answer");
    testsupport::waitFor([] { return testsupport::stateLine().empty(); }, "the line to go");
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainGetID")));
    EXPECT_EQ(testsupport::stateLine(), "Reading the disc ID");
    testsupport::waitFor([] { return testsupport::stateLine() == "The disc does not answer"; },
                         "Get ID to give up");

    ASSERT_TRUE(share.release());
    gameidsSetWaits(0, 0);
    gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainUpdate")));
    const std::vector<std::string> read = {"", "SLUS-00330", "SCES-01234"};
    testsupport::waitFor([&] { return shownIds() == read; }, "the IDs read again");
    EXPECT_EQ(tabMainIdTooltip((links + "Beta.cue").c_str()), nullptr);
    dialog.reset();
    testsupport::waitFor(
        [&] { return testsupport::childProcesses(getpid()).size() <= ownChildren; },
        "the helpers to end");
}

// Get ID on a disc whose read the share holds: OK, Cancel and closing the
// window end the dialog at once, and the reader held by the share is ended.
TEST_F(KeptIds, EveryWayOutEndsTheDialogWhileGetIdsReadHangs) {
    SlowFs& share = *shared;
    for (const char* how : {"ok", "cancel", "close"}) {
        {
            Dialog dialog;
            dialog.startWith("[cd selection]\ncdimgdir0 = " + share.path() + "/\n");
            testsupport::waitFor([] { return gameidsPending() == 0; }, "the list's IDs");
            ASSERT_TRUE(share.hold());
            snprintf(settings.current, sizeof settings.current, "%s/Alpha.cue",
                     share.path().c_str());
            gtk_button_clicked(GTK_BUTTON(uiWidget("buttonMainGetID")));
            ASSERT_TRUE(share.waitHeld());
            EXPECT_TRUE(gameidsReadingNow());
            EXPECT_TRUE(dialog.leave(how)) << how;
        }
        // The reader the share holds was ended, not left to finish its read.
        // Helpers of earlier tests end and are reaped meanwhile; the share's
        // server is no helper.
        testsupport::waitFor([] { return testsupport::helperChildren().empty(); },
                             "the helpers to end");
        ASSERT_TRUE(share.release());
    }
}

}  // namespace
