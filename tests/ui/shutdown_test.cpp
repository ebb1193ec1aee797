// Shutdown gives back what the dialog made at run time: once the windows are
// gone too, nothing of ours keeps the icons or the menu alive.
#include <gtest/gtest.h>

#include "support/gui.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

using testsupport::Dialog;
using testsupport::drain;
using testsupport::writeFile;

TEST(Shutdown, ReleasesTheIconsAndTheRecentlyOpenedMenu) {
    struct Watched {
        const char* name;
        GObject* object;
    };
    Watched watched[5] = {};
    {
        Dialog dialog;
        dialog.startWith("[recently]\n0 = /psx/one.cue\n");
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainRecentlyOpened")));
        ASSERT_NE(recentlyMenu, nullptr);
        gtk_menu_popdown(GTK_MENU(recentlyMenu));
        gtk_button_clicked(GTK_BUTTON(dialog.widget("buttonMainEditCDList")));
        drain();
        ASSERT_NE(windowEditor, nullptr);
        watched[0] = {"main window icon", G_OBJECT(gdkpixbufpsxIco)};
        watched[1] = {"clear icon", G_OBJECT(gdkpixbufclear)};
        watched[2] = {"flag", G_OBJECT(gdkpixbufflags[0])};
        watched[3] = {"editor icon", G_OBJECT(gtk_window_get_icon(windowEditor))};
        watched[4] = {"recently opened menu", G_OBJECT(recentlyMenu)};
        for (const Watched& w : watched) ASSERT_NE(w.object, nullptr) << w.name;
        for (Watched& w : watched)
            g_object_add_weak_pointer(w.object, reinterpret_cast<gpointer*>(&w.object));
        gtk_widget_hide(GTK_WIDGET(windowEditor));
    }
    for (Watched& w : watched) {
        EXPECT_EQ(w.object, nullptr) << w.name << " still alive";
        // A survivor must not write to this frame once the test has returned.
        if (w.object)
            g_object_remove_weak_pointer(w.object, reinterpret_cast<gpointer*>(&w.object));
    }
}
