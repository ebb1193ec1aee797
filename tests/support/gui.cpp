#include "support/gui.h"

#include <gtest/gtest.h>

#include "app/gui.h"
#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace testsupport {

bool startGtk(int* argc, char*** argv) {
    if (gtk_init_check(argc, argv)) return true;
    fprintf(stderr, "No X display: start Xvfb and set DISPLAY (scripts/test.sh does).\n");
    return false;
}

Dialog::Dialog() = default;

Dialog::~Dialog() {
    if (!started_) return;
    on_gui_shutdown();
    for (const char* id : {"windowMain", "windowEditor"})
        if (GtkWidget* window = uiWidget(id)) gtk_widget_destroy(window);
    settle(0);
    g_object_unref(builder);
    builder = nullptr;
    windowMain = windowEditor = nullptr;
}

void Dialog::start(bool waitForScan) {
    GError* error = nullptr;
    ASSERT_NE(uiCreateBuilder(&error), nullptr);
    ASSERT_EQ(error, nullptr) << error->message;
    started_ = true;
    on_gui_build();
    guiStart();
    if (waitForScan) {
        settle();
    } else {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    }
}

bool Dialog::runUntilQuit(const std::function<void()>& action, int limitMs) {
    struct Run {
        std::function<void()> action;
        bool timedOut = false;
    } run{action};
    g_idle_add(
        [](gpointer data) -> gboolean {
            static_cast<Run*>(data)->action();
            return FALSE;
        },
        &run);
    guint timer = g_timeout_add(
        limitMs,
        [](gpointer data) -> gboolean {
            static_cast<Run*>(data)->timedOut = true;
            gtk_main_quit();
            return FALSE;
        },
        &run);
    gtk_main();
    if (!run.timedOut) g_source_remove(timer);
    return !run.timedOut;
}

GtkWidget* Dialog::widget(const char* id) {
    GtkWidget* found = uiWidget(id);
    EXPECT_NE(found, nullptr) << id;
    return found;
}

GtkMessageDialog* visibleMessageDialog() {
    GtkMessageDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it; it = it->next)
        if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data)))
            found = GTK_MESSAGE_DIALOG(it->data);
    g_list_free(windows);
    return found;
}

void settle(int ms) {
    gdk_flush();
    gint64 end = g_get_monotonic_time() + ms * 1000;
    do {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        g_usleep(5000);
        gdk_flush();
    } while (g_get_monotonic_time() < end);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    waitForCatalogue();
}

bool waitForCatalogue(int limitMs) {
    bool late = false;
    guint timer = g_timeout_add(
        limitMs,
        [](gpointer data) -> gboolean {
            *static_cast<bool*>(data) = true;
            return FALSE;
        },
        &late);
    // The scan's notice wakes the main loop when it arrives.
    while (!tabMainScanSettled() && !late) g_main_context_iteration(nullptr, TRUE);
    if (!late) g_source_remove(timer);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    EXPECT_FALSE(late) << "the scan of the image folders did not finish";
    return !late;
}

}  // namespace testsupport
