#include "ui/images.h"

#include "ui/images/app_icon.xpm"
#include "ui/images/clear_icon.xpm"
#include "ui/images/flag.xpm"

GdkPixbuf* imagesAppIcon() { return gdk_pixbuf_new_from_xpm_data(appIconXpm); }
GdkPixbuf* imagesClearIcon() { return gdk_pixbuf_new_from_xpm_data(clearIconXpm); }
GdkPixbuf* imagesFlag() { return gdk_pixbuf_new_from_xpm_data(flagXpm); }
