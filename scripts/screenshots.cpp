// Saves a PNG of every page of the dialog and of the CD list editor, shown
// with a demonstration library of made-up discs.
// Usage: discwren_screenshots OUTPUT_FOLDER  (needs an X display)
// With DISCWREN_LOCALEDIR set, catalogues come from that folder instead of the
// system's, so a translation can be shown before it is installed (the dialog
// itself binds no folder).
#include <gtk/gtk.h>
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui.h"
#include "catalogue/cdsearch.h"
#include "helper/helper_main.h"
#include "support/discs.h"
#include "support/testsupport.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace {

using testsupport::joinPath;
using testsupport::removeTree;
using testsupport::writeFile;

// A fixed place, so that the Path column reads the same on every refresh.
const std::string kDemo = "/tmp/discwren-demo";

// A small real disc for the image at sheet (.cue .toc .ccd .mds): a data
// track (ISO 9660, cooked 2048-byte sectors) whose SYSTEM.CNF boots the
// executable id names (SLUS-00330 boots SLUS_003.30), in the data file the
// sheet names or that lies beside it. Without genisoimage the sheet stays an
// empty file, listed all the same.
void makeDisc(const std::string& sheet, const std::string& id) {
    const std::string exe = id.substr(0, 4) + "_" + id.substr(5, 3) + "." + id.substr(8);
    const std::string kind = sheet.substr(sheet.size() - 4);
    const std::string data = sheet.substr(0, sheet.size() - 4) + (kind == ".ccd"   ? ".img"
                                                                  : kind == ".mds" ? ".mdf"
                                                                                   : ".bin");
    const std::string dataName = data.substr(data.rfind('/') + 1);
    const std::string iso = testsupport::makeIso(
        {{"SYSTEM.CNF",
          "BOOT = cdrom:\\" + exe + ";1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFFF0\r\n"},
         {exe, std::string(2048, '\0')}});
    const bool made = !iso.empty();
    if (made)
        writeFile(data, iso);
    else
        fprintf(stderr, "genisoimage failed: %s has no disc\n", sheet.c_str());
    if (made && kind == ".cue")
        writeFile(sheet, "FILE \"" + dataName +
                             "\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
    else if (made && kind == ".toc")
        writeFile(sheet, "CD_ROM\n\nTRACK MODE1\nDATAFILE \"" + dataName + "\"\n");
    else
        writeFile(sheet, "");  // the reader takes the data file beside it
}

// Image folders with made-up titles: the images are small real discs with
// IDs, the executable an empty file.
void makeDemoLibrary() {
    removeTree(kDemo);
    for (const char* folder : {"/Arcade/", "/Racing/"}) writeFile(kDemo + folder, "");
    writeFile(kDemo + "/Demos/Paper Lantern Demo.exe", "");
    const std::pair<const char*, const char*> discs[] = {
        {"/Arcade/Moss Knight Chronicles.ccd", "SCES-09901"},
        {"/Arcade/Puzzle Garden (Disc 1).toc", "SLUS-09902"},
        {"/Arcade/Puzzle Garden (Disc 2).toc", "SLUS-09903"},
        {"/Arcade/Starlit Harbor.cue", "SLUS-00330"},
        {"/Racing/Tin Comet GP.cue", "SLPS-01300"},
        {"/Racing/Velvet Rally.mds", "SCUS-09904"},
    };
    for (const auto& disc : discs) makeDisc(kDemo + disc.first, disc.second);
    writeFile("discWren.ini",
              "[cd selection]\n"
              "current = " +
                  kDemo +
                  "/Arcade/Starlit Harbor.cue\n"
                  "cddev0 = /dev/cdrom\n"
                  "cddev1 = /dev/sr1\n"
                  "cdimgdir0 = " +
                  kDemo +
                  "/Arcade/\n"
                  "cdimgdir1 = " +
                  kDemo +
                  "/Racing/\n"
                  "cdimgdir2 = " +
                  kDemo +
                  "/Demos/\n"
                  "[recently]\n"
                  "0 = " +
                  kDemo +
                  "/Arcade/Starlit Harbor.cue\n"
                  "1 = " +
                  kDemo +
                  "/Racing/Velvet Rally.mds\n"
                  "[hot keys]\n"
                  "configdialog0 = 0110004436\n"
                  "showstatus0 = 01100076\n"
                  "coveropen0 = 0110004b\n"
                  "coverclose0 = 0110004c\n"
                  "cdswapping0 = 0110005f\n"
                  "cdswapping1 = 01100075\n");
}

void settle() {
    // The image folders are read in the background: the pictures show the list complete.
    while (cdsearchScanBusy()) g_main_context_iteration(nullptr, TRUE);
    for (int i = 0; i < 40; i++) {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        g_usleep(10000);
    }
}

bool save(GtkWidget* window, const std::string& path) {
    GdkWindow* drawable = gtk_widget_get_window(window);
    int width, height;
    gdk_drawable_get_size(drawable, &width, &height);
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_drawable(nullptr, drawable, nullptr, 0, 0, 0, 0, width, height);
    bool ok = shot && gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr);
    if (shot) g_object_unref(shot);
    printf("%s %s (%dx%d)\n", ok ? "saved" : "FAILED", path.c_str(), width, height);
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    helperMainIfStarted(argc, argv);  // its helpers are this program too
    gtk_init(&argc, &argv);
    // No tooltip over the pictures, wherever the pointer is.
    g_object_set(gtk_settings_get_default(), "gtk-enable-tooltips", FALSE, nullptr);
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    char* output = realpath(argv[1], nullptr);
    if (!output) {
        perror(argv[1]);
        return 2;
    }
    char scratch[] = "/tmp/discwren-shots-XXXXXX";
    if (!mkdtemp(scratch) || chdir(scratch) != 0) return 2;
    makeDemoLibrary();
    if (const char* catalogues = getenv("DISCWREN_LOCALEDIR"))
        bindtextdomain("discWren", catalogues);
    uiCreateBuilder(nullptr);
    on_gui_build();
    guiStart();
    settle();

    struct Page {
        const char* name;
        int main, inner;
        const char* innerBook;
    } pages[] = {
        {"cd-selection", 0, 0, "notebookMainSettings"},
        {"cdrom-properties", 0, 1, "notebookMainSettings"},
        {"misc", 1, -1, nullptr},
        {"readme", 2, -1, nullptr},  // the manual in the interface's language
        {"about", 3, -1, nullptr},
    };
    bool ok = true;
    for (const Page& page : pages) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget("notebookMain")), page.main);
        if (page.innerBook)
            gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget(page.innerBook)), page.inner);
        gtk_window_set_focus(windowMain, nullptr);  // no focus frame in the picture
        settle();
        ok = save(GTK_WIDGET(windowMain), joinPath(output, page.name + std::string(".png"))) && ok;
    }

    // The editor opens from its button on the CD selection page; its Cancel
    // closes it again.
    gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget("notebookMain")), 0);
    gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget("notebookMainSettings")), 0);
    if (GtkWidget* edit = uiWidget("buttonMainEditCDList")) {
        gtk_button_clicked(GTK_BUTTON(edit));
        settle();
        ok = save(uiWidget("windowEditor"), std::string(output) + "/cd-list-editor.png") && ok;
        gtk_button_clicked(GTK_BUTTON(uiWidget("buttonEditorCancel")));
    } else {
        printf("FAILED: the definition has no CD list editor button\n");
        ok = false;
    }
    on_gui_shutdown();
    unlink("discWren.ini");
    rmdir(scratch);
    removeTree(kDemo);
    free(output);
    return ok ? 0 : 1;
}
