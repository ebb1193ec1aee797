// Times a filter change on the real dialog: from the new filter text to the
// CD list refilled and drawn, on a generated library of 10,000 images.
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/gui.h"
#include "bench/bench.h"
#include "bench/dialog.h"
#include "bench/library.h"
#include "catalogue/cdsearch.h"
#include "settings/settings.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace {

// The refill as a plain list view does it: the model stays attached and the
// columns size themselves to their contents, so every row is measured.
void refillAttached(GtkTreeView* view, GtkListStore* store) {
    cdsearchSetFilter(settings.filter);
    cdsearchBuild();
    gtk_list_store_clear(store);
    int cursorRow = -1;
    for (int i = 0; i < cdsearchItemQuantity(); i++) {
        CD* cd = cdsearchItemGet(i);
        std::string full = cdFullPath(cd);
        GtkTreeIter iter;
        gtk_list_store_append(store, &iter);
        gtk_list_store_set(store, &iter, CDLIST_TITLE, cd->name, CDLIST_PATH, cd->path,
                           CDLIST_GAMEID, "", CDLIST_FULL, full.c_str(), -1);
        if (full == settings.current) cursorRow = i;
    }
    if (cursorRow >= 0) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(cursorRow, -1);
        gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
}

// Runs the main loop until the CD list shows the last scan.
void scanShown() {
    while (cdsearchScanBusy()) g_main_context_iteration(nullptr, TRUE);
    bench::drawn();
}

}  // namespace

BENCH_SECTION(cdlist, 40) {
    int argc = 0;
    char** argv = nullptr;
    if (!gtk_init_check(&argc, &argv)) {
        printf("cdlist: skipped, no X display (set DISPLAY, e.g. under Xvfb)\n");
        return;
    }
    const int files = 100000;
    char folder[] = "/tmp/discwren-cdlist-XXXXXX";
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || !mkdtemp(folder) || chdir(folder) != 0) return;
    bench::makeLibrary(std::string(folder) + "/library", files);
    FILE* ini = fopen("discWren.ini", "w");
    if (!ini) return;
    fprintf(ini, "[cd selection]\ncdimgdir0 = %s/library/\n", folder);
    fclose(ini);

    uiCreateBuilder(nullptr);
    on_gui_build();
    guiStart();
    gtk_window_resize(windowMain, 900, 700);
    scanShown();
    GtkEntry* entry = GTK_ENTRY(uiWidget("entryMainFilterText"));
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    int images = cdsearchItemQuantity();

    // Two filters that each keep every image, so each change refills all rows.
    const char* filters[] = {"", "."};
    const int runs = 15;
    int turn = 0;
    double ours = bench::medianMicroseconds(runs,
                                            [&] {
                                                gtk_entry_set_text(entry, filters[++turn % 2]);
                                                bench::drawn();
                                            }) /
                  1000.0;

    // A user typing a name and deleting it again, one key at a time.
    std::vector<double> keys;
    for (int round = 0; round < 3; ++round) {
        bench::typeFilterKeys(keys);
        scanShown();
    }
    double typing = bench::median(keys);
    double worst = *std::max_element(keys.begin(), keys.end());

    // The same change with a list store of the same columns, attached, and
    // autosizing columns.
    GtkListStore* store = gtk_list_store_new(CDLIST_FULL + 1, G_TYPE_STRING, G_TYPE_STRING,
                                             G_TYPE_STRING, G_TYPE_STRING);
    gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    g_object_unref(store);
    GList* columns = gtk_tree_view_get_columns(view);
    gtk_tree_view_set_fixed_height_mode(view, FALSE);
    for (GList* it = columns; it; it = it->next)
        gtk_tree_view_column_set_sizing(GTK_TREE_VIEW_COLUMN(it->data),
                                        GTK_TREE_VIEW_COLUMN_AUTOSIZE);
    g_list_free(columns);
    double reference =
        bench::medianMicroseconds(5,
                                  [&] {
                                      snprintf(settings.filter, sizeof settings.filter, "%s",
                                               filters[++turn % 2]);
                                      refillAttached(view, store);
                                      bench::drawn();
                                  }) /
        1000.0;

    printf("library: %d files, %d rows in the CD list\n", files, images);
    printf("%-44s %8.1f ms\n", "filter change to list drawn (fixed, detached)", ours);
    printf("%-44s %8.1f ms\n", "same with autosizing columns, model attached", reference);
    printf("%-44s %8.1f ms median, %.1f ms worst (%zu keys)\n", "typing a filter key by key",
           typing, worst, keys.size());
    bench::target("filter change to CD list drawn, 10,000 images", bench::format("%.1f ms", ours),
                  bench::format("%.1f ms autosizing", reference), bench::format("%.1f ms", ours),
                  "< 30 ms", ours < 30.0);
    bench::target("filter keystroke to CD list drawn, 10,000 images (moonshot)",
                  bench::format("%.1f ms median", typing),
                  bench::format("%.1f ms autosizing", reference), bench::format("%.1f ms", typing),
                  "< 15 ms", typing < 15.0);

    on_gui_shutdown();
    gtk_widget_destroy(GTK_WIDGET(windowMain));
    if (chdir(previous) != 0) return;
    if (system(("rm -rf " + std::string(folder)).c_str()) != 0) return;
}
