// Every signal handler the UI definition may name, with C linkage.
#pragma once

#include <gtk/gtk.h>

#include "ui/tab_about.h"
#include "ui/tab_main.h"
#include "ui/tab_misc.h"
#include "ui/window_main.h"
