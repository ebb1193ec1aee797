// "Calc md5" of the "Settings" tab: the digest of the current disc's data
// file, computed by a hash helper, with a progress window whose Cancel works
// whatever the storage does.
#include <cstdio>
#include <cstring>
#include <string>

#include "catalogue/cdsearch.h"
#include "clients/md5job.h"
#include "disc/datafile.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/tab_main.h"
#include "ui/ui.h"
#include "ui/window_main.h"
#include "util/md5.h"

namespace {

// A helper that has not answered by then (the open or the first read waits
// for its storage) gets the progress window whatever the file's size.
constexpr guint LATE_MS = 300;

// The small modal window over the main window while a long hash runs.
struct Progress {
    GtkWidget* window = nullptr;
    GtkProgressBar* bar = nullptr;
    int percent = -1;
    guint late = 0;  // the timer that opens the window for a helper slow to answer
};

Progress progress;

// What the running hash reads: a drive of the device list, or an image's
// data file, by its name as shown.
struct Asked {
    bool drive = false;
    std::string dataName;
} asked;

// A device of the list, or a node under /dev/ (a drive since removed from it).
bool isDevice(const char* fullPath) {
    if (strncmp(fullPath, "/dev/", 5) == 0) return true;
    for (int i = 0; i < cdsearchDeviceQuantity(); i++)
        if (cdFullPath(cdsearchDeviceGet(i)) == fullPath) return true;
    return false;
}

// Why no sum comes, in the user's words.
std::string noDigestText(int result) {
    if (result == MD5_NO_DISC) return _("No disc in the drive");
    if (asked.drive)
        return result == MD5_MISSING ? _("There is no such drive") : _("The disc cannot be read");
    const char* format =
        result == MD5_MISSING ? _("No data file: %s") : _("The data file cannot be read: %s");
    gchar* text = g_strdup_printf(format, asked.dataName.c_str());
    std::string line = text;
    g_free(text);
    return line;
}

void progressClose() {
    if (progress.late) g_source_remove(progress.late);
    if (progress.window) gtk_widget_destroy(progress.window);
    progress = Progress();
}

// Cancel, or closing the window: the window goes at once, the helper when its
// storage lets it.
gboolean cancelHash(GtkWidget*, gpointer) {
    md5jobCancel();
    progressClose();
    return TRUE;
}

void progressOpen() {
    progress.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(progress.window);
    gtk_window_set_title(window, _("md5 control sum"));
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_transient_for(window, windowMain);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_container_set_border_width(GTK_CONTAINER(window), 10);

    GtkWidget* box = gtk_vbox_new(FALSE, 10);
    progress.bar = GTK_PROGRESS_BAR(gtk_progress_bar_new());
    gtk_widget_set_size_request(GTK_WIDGET(progress.bar), 300, -1);
    gtk_progress_bar_set_text(progress.bar, "0%");
    GtkWidget* cancel = gtk_button_new_from_stock(GTK_STOCK_CANCEL);
    GtkWidget* row = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(row), GTK_BUTTONBOX_END);
    gtk_container_add(GTK_CONTAINER(row), cancel);
    gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(progress.bar), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    g_signal_connect(cancel, "clicked", G_CALLBACK(cancelHash), nullptr);
    g_signal_connect(window, "delete-event", G_CALLBACK(cancelHash), nullptr);
    gtk_widget_show_all(progress.window);
}

gboolean openLate(gpointer) {
    progress.late = 0;
    if (md5jobRunning() && !progress.window) progressOpen();
    return FALSE;
}

// Files of MD5_PROGRESS_THRESHOLD bytes and more, and drives of unknown size
// (total < 0), get the progress window at once.
void showProgress(long long done, long long total, void*) {
    if (!progress.window) {
        if (total >= 0 && total < MD5_PROGRESS_THRESHOLD) return;
        progressOpen();
    }
    if (total < 0) {
        // A drive that does not tell its size: show that work goes on.
        char text[32];
        snprintf(text, sizeof text, "%lld MB", done >> 20);
        gtk_progress_bar_pulse(progress.bar);
        gtk_progress_bar_set_text(progress.bar, text);
        return;
    }
    int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
    if (percent > 100) percent = 100;
    if (percent == progress.percent) return;
    progress.percent = percent;
    char text[16];
    snprintf(text, sizeof text, "%d%%", percent);
    gtk_progress_bar_set_fraction(progress.bar, percent / 100.0);
    gtk_progress_bar_set_text(progress.bar, text);
}

// The hash ended: the sum in a message, or why there is none on the line under the list.
void showDigest(int result, const unsigned char digest[16], void*) {
    progressClose();
    if (result != 0) {
        tabMainShowNote(noDigestText(result));
        return;
    }
    char text[33];
    md5Hex(digest, text);
    GtkWidget* message = gtk_message_dialog_new(windowMain, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                                GTK_BUTTONS_CLOSE, "%s", text);
    gtk_window_set_title(GTK_WINDOW(message), _("md5 control sum"));
    gtk_dialog_run(GTK_DIALOG(message));
    gtk_widget_destroy(message);
}

}  // namespace

void tabMainMd5Shutdown() {
    // A hash still running has its helper killed rather than left to read on.
    md5jobCancel();
    progressClose();
}

extern "C" void on_buttonMainCalcMd5_clicked(GtkButton*, gpointer) {
    if (md5jobRunning() || !tabMainNamesDisc(settings.current)) return;
    char path[SETTINGS_PATH_SIZE];
    tabMainCopyCut(path, sizeof path, settings.current);
    asked.drive = isDevice(path);
    discDataFile(path);
    const char* slash = strrchr(path, '/');
    gchar* shown = nullptr;
    asked.dataName = uiDisplayable(slash ? slash + 1 : path, &shown);
    g_free(shown);
    Md5JobCallbacks callbacks;
    callbacks.progress = showProgress;
    callbacks.done = showDigest;
    if (md5jobStart(path, callbacks)) {
        progress.late = g_timeout_add(LATE_MS, openLate, nullptr);
    } else {
        tabMainShowNote(noDigestText(MD5_UNREADABLE));
    }
}
