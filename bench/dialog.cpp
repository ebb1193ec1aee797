#include "bench/dialog.h"

#include <gtk/gtk.h>

#include <string>

#include "app/gui.h"
#include "bench/bench.h"
#include "ui/ui.h"

namespace bench {

void startDialog() {
    uiCreateBuilder(nullptr);
    on_gui_build();
    guiStart();
    drawn();
}

void endDialog() {
    on_gui_shutdown();
    gtk_widget_destroy(GTK_WIDGET(windowMain));
    g_object_unref(builder);
    builder = nullptr;
}

void drawn() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void typeFilterKeys(std::vector<double>& times) {
    GtkEntry* entry = GTK_ENTRY(uiWidget("entryMainFilterText"));
    const std::string typed = "dragon 0";
    for (size_t length = 1; length <= typed.size() * 2; ++length) {
        size_t shown = length <= typed.size() ? length : typed.size() * 2 - length;
        auto start = Clock::now();
        gtk_entry_set_text(entry, typed.substr(0, shown).c_str());
        drawn();
        times.push_back(millisecondsSince(start));
    }
}

}  // namespace bench
