// Start-up and shutdown of the dialog around its one run of the main loop.
#pragma once

#include <gtk/gtk.h>

// The full path of the running executable, in a static buffer that the next
// call overwrites; nullptr when it cannot be read or does not fit 4095 bytes.
char* getWorkingDir();
// Makes the executable's folder the current directory; 0, or -1 on failure.
int setWorkingDir();

// The start-up after the change of folder: lists, settings, main window.
void guiStart();

G_BEGIN_DECLS

void on_gui_build(void);     // parts of the windows the definition does not hold
void on_gui_init(void);      // starts the subsystems, reads the settings, shows the window
void on_gui_shutdown(void);  // stops the subsystems in reverse order

G_END_DECLS
