// "Get ID" of the "Settings" tab: reads the current disc's ID through the
// reading side and shows the result for a while on the state line under the
// CD list, which a running scan's state takes over meanwhile.
#include <cstring>
#include <string>

#include "catalogue/cdsearch.h"
#include "catalogue/gameids.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace {

constexpr guint RESULT_MS = 4000;

bool reading = false;    // a read of "Get ID" runs
std::string resultText;  // the last result while it shows, "" otherwise
guint resultSource = 0;  // ends the result's showing

void forgetResult() {
    if (resultSource) g_source_remove(resultSource);
    resultSource = 0;
    resultText.clear();
}

gboolean resultShown(gpointer) {
    resultSource = 0;
    resultText.clear();
    tabMainShowScanState();
    return FALSE;
}

void readDone(GameIdResult result, const std::string& id, void*) { tabMainShowGameId(result, id); }

// Neither nothing nor the no-disc entry: a disc whose ID can be read.
bool readable(const char* current) { return tabMainNamesDisc(current); }

}  // namespace

void tabMainShowGameId(GameIdResult result, const std::string& id) {
    reading = false;
    std::string text;
    if (result == GAMEID_FOUND && !id.empty()) {
        gchar* scratch = nullptr;
        text = uiDisplayable(id.c_str(), &scratch);
        g_free(scratch);
    } else if (result == GAMEID_NO_DISC) {
        text = _("No disc in the drive");
    } else if (result == GAMEID_NO_DRIVE) {
        text = _("There is no such drive");
    } else if (result == GAMEID_UNREADABLE || result == GAMEID_NO_ANSWER) {
        text = tabMainGameIdWhy(result);
    } else {
        text = _("This disc has no game ID");
    }
    tabMainShowNote(text);
}

void tabMainShowNote(const std::string& text) {
    forgetResult();
    resultText = text;
    resultSource = g_timeout_add(RESULT_MS, resultShown, nullptr);
    tabMainShowScanState();
}

const char* tabMainGameIdWhy(GameIdResult why) {
    return why == GAMEID_NO_ANSWER ? _("The disc does not answer") : _("The disc cannot be read");
}

const char* tabMainGameIdLine(bool* busy) {
    *busy = reading;
    if (reading) return _("Reading the disc ID");
    return resultText.empty() ? nullptr : resultText.c_str();
}

void tabMainUpdateGetId(void) {
    if (GtkWidget* button = uiWidget("buttonMainGetID"))
        gtk_widget_set_sensitive(button, readable(settings.current));
}

void tabMainGetId(void) {
    // A second click on the disc being read waits for it; another disc's
    // click gives that read up.
    if (!readable(settings.current) || gameidsReadingNowOf(settings.current)) return;
    forgetResult();
    // Set first: the reader may answer before it returns.
    reading = true;
    bool device = false;
    for (int i = 0; i < cdsearchDeviceQuantity(); ++i)
        if (CD* cd = cdsearchDeviceGet(i); cd && cdFullPath(cd) == settings.current) device = true;
    if (gameidsReadNow(settings.current, device, readDone, nullptr)) {
        tabMainShowScanState();
        return;
    }
    reading = false;
    // No reader could be had: say so rather than show nothing.
    tabMainShowGameId(GAMEID_UNREADABLE, "");
}

void tabMainGameIdShutdown(void) {
    reading = false;
    forgetResult();
}
