// The "Settings" tab: CD selection and CD-ROM properties.
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

void on_tab_main_init(void);    // puts the clear icon on the filter-clear button
void on_tab_main_update(void);  // fills the tab from the settings; reads the desktop size

G_END_DECLS
