#include "app/gui.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"
#include "input/keysystem.h"
#include "settings/settingsfile.h"
#include "ui/tab_main.h"
#include "ui/window_editor.h"
#include "ui/window_main.h"

char* getWorkingDir() {
    static char path[4096];
    memset(path, 0, sizeof path);
    char link[32];
    snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(getpid()));
    ssize_t length = readlink(link, path, sizeof path);
    // A path that fills the buffer may have been cut: refuse it rather than use a wrong one.
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof path)) {
        memset(path, 0, sizeof path);
        return nullptr;
    }
    return path;
}

int setWorkingDir() {
    char* path = getWorkingDir();
    char* slash = path ? strrchr(path, '/') : nullptr;
    if (!slash) return -1;
    slash[1] = '\0';
    return chdir(path) == 0 ? 0 : -1;
}

extern "C" {

void on_gui_build(void) {
    on_windowMain_build();  // the editor's part is built when it first opens
}

void on_gui_init(void) {
    // Everything after this is relative to the executable's folder, the
    // settings file above all.
    setWorkingDir();
    guiStart();
}

void on_gui_shutdown(void) {
    on_windowEditor_shutdown();
    on_windowMain_shutdown();
    cdsearchShutdown();
    recentlyShutdown();
    keySystemClose();
    linkedListSystemClose();
    keySystemShutdown();
    linkedListSystemShutdown();
}

}  // extern "C"

void guiStart() {
    linkedListSystemInit();
    keySystemInit();
    linkedListSystemOpen();
    keySystemOpen();
    // The lists must be registered before the settings file fills them.
    cdsearchInit();
    recentlyInit();
    settingsRead(&settings);
    // The image folders are read while the window is built (or the kept images
    // shown and checked once it is up).
    tabMainStartScan();
    windowEditorStart();
    on_windowMain_init();
}
