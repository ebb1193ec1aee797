// The program's own images, drawn from XPM data compiled into it. Each call
// makes a new pixbuf that belongs to the caller.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

GdkPixbuf* imagesAppIcon();    // 64 x 64 application icon
GdkPixbuf* imagesClearIcon();  // 16 x 16 icon of the filter-clear button
GdkPixbuf* imagesFlag();       // 128 x 85 flag of the About tab
