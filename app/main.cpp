// cfgDiscWren: the configuration dialog of the discWren CD-ROM plug-in.
#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include "app/gui.h"
#include "clients/spawn.h"
#include "helper/helper_main.h"
#include "ui/ui.h"

int main(int argc, char* argv[]) {
    // Started as a helper, the process runs that and ends there, before any GTK.
    helperMainIfStarted(argc, argv);
    // A closed standard stream would be taken by the next descriptor made,
    // a socket, say, and messages would go into it.
    helperOpenStandardStreams();
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
