// cfgDiscWren: the configuration dialog of the discWren CD-ROM plug-in.
#include <gtk/gtk.h>
#include <malloc.h>
#include <pango/pangocairo.h>

#include <cstring>

#include "app/gui.h"
#include "catalogue/cdsearch.h"
#include "clients/spawn.h"
#include "helper/helper_main.h"
#include "ui/ui.h"

int main(int argc, char* argv[]) {
    // Started as a helper, the process runs that and ends there, before any GTK.
    helperMainIfStarted(argc, argv);
    // Loading a large kept list builds and frees several MB (the file, its
    // parse, the rows): freed memory stays in the process for the allocations
    // that follow, where handing it back and mapping new pages would cost a
    // page fault for every 4 kB taken again.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    // A closed standard stream would be taken by the next descriptor made,
    // a socket, say, and messages would go into it.
    helperOpenStandardStreams();
    // The kept list of images is read while GTK starts.
    char* self = getWorkingDir();
    if (char* slash = self ? strrchr(self, '/') : nullptr) {
        slash[1] = '\0';
        cdsearchReadKeptSoon(self);
    }
    // Fontconfig loads its configuration on a thread of its own once the font
    // map exists: made first, it loads while GTK connects to the display
    // instead of holding up the first label.
    pango_cairo_font_map_get_default();
    gtk_init(&argc, &argv);
    if (!uiCreateBuilder(nullptr)) return 0;
    on_gui_build();
    on_gui_init();
    gtk_main();
    on_gui_shutdown();
    g_object_unref(builder);
    builder = nullptr;
    return 0;
}
