#include "ui/tab_main.h"

#include <X11/Xlib.h>

#include "ui/images.h"
#include "ui/ui.h"

namespace {

// Reads the size of the first screen's root window on a connection of our
// own; without a display the previous size stays.
void readDesktopSize() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, RootWindow(display, 0), &attributes)) {
        desktopWidth = attributes.width;
        desktopHeight = attributes.height;
    }
    XCloseDisplay(display);
}

}  // namespace

extern "C" {

void on_tab_main_init(void) {
    gdkpixbufclear = imagesClearIcon();
    widget = uiWidget("buttonMainFilterClear");
    if (widget) gtk_button_set_image(GTK_BUTTON(widget), gtk_image_new_from_pixbuf(gdkpixbufclear));
}

void on_tab_main_update(void) { readDesktopSize(); }

}  // extern "C"
