// The property widgets of the dialog joined to their settings fields: check
// buttons (0/1), spin buttons (the rounded value) and combo boxes (the
// active index, -1 for none). One show pass per page, one store for all.
#pragma once

#include <gtk/gtk.h>

// The page a widget sits on.
enum class WidgetPage { Main, Misc };

// Sets each widget of page from its field, then stores the widget's value
// back, so that the field holds what is shown: a clamped value, or -1 for a
// combo index with no entry. Setting a widget runs its handler.
void widgetFieldsShow(WidgetPage page);

// Stores the value widget shows into its field; a widget not in the table
// is ignored.
void widgetFieldStore(GtkWidget* widget);
