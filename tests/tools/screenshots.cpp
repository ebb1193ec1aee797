// Saves a PNG of every page of the dialog, for reviewing its look.
// Usage: discwren_screenshots OUTPUT_FOLDER  (needs an X display)
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui.h"
#include "ui/ui.h"

namespace {

void settle() {
    for (int i = 0; i < 40; i++) {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        g_usleep(10000);
    }
}

bool save(const std::string& path) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(windowMain));
    int width, height;
    gdk_drawable_get_size(window, &width, &height);
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_drawable(nullptr, window, nullptr, 0, 0, 0, 0, width, height);
    bool ok = shot && gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr);
    if (shot) g_object_unref(shot);
    printf("%s %s (%dx%d)\n", ok ? "saved" : "FAILED", path.c_str(), width, height);
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    gtk_init(&argc, &argv);
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    char* output = realpath(argv[1], nullptr);
    if (!output) {
        perror(argv[1]);
        return 2;
    }
    // Start with default settings in a scratch folder, as on a first run.
    char scratch[] = "/tmp/discwren-shots-XXXXXX";
    if (!mkdtemp(scratch) || chdir(scratch) != 0) return 2;
    uiCreateBuilder(nullptr);
    on_gui_build();
    guiStart();
    settle();

    struct Page {
        const char* name;
        int main, inner;
        const char* innerBook;
    } pages[] = {
        {"settings-cd-selection", 0, 0, "notebookMainSettings"},
        {"settings-cdrom-properties", 0, 1, "notebookMainSettings"},
        {"misc", 1, -1, nullptr},
        {"readme-en", 2, 0, "notebookMainReadme"},
        {"readme-ru", 2, 1, "notebookMainReadme"},
        {"about", 3, -1, nullptr},
    };
    bool ok = true;
    for (const Page& page : pages) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget("notebookMain")), page.main);
        if (page.innerBook)
            gtk_notebook_set_current_page(GTK_NOTEBOOK(uiWidget(page.innerBook)), page.inner);
        settle();
        ok = save(std::string(output) + "/" + page.name + ".png") && ok;
    }
    on_gui_shutdown();
    unlink("discWren.ini");
    rmdir(scratch);
    free(output);
    return ok ? 0 : 1;
}
