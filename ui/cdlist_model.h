// The CD list's model: one row per entry, held as its full path, whose cells
// are made when a view asks for them. A start with thousands of kept images
// then costs a path per row; a store would copy four texts into every row
// before the window could show. Columns are those of CdListColumn, all texts.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// The model's type, "DiscwrenCdList" in the UI definition; registered on first call.
GType cdlistModelGetType(void);

// The model's rows, full paths in row order; empty for anything not a CD list model.
const std::vector<std::string>& cdlistModelRows(GtkTreeModel* model);

// Replaces every row without telling views: for a model no view shows at the time.
void cdlistModelReplace(GtkTreeModel* model, std::vector<std::string> rows);
// Inserts fullPath as row row (0 to the row count) and removes row row (an
// existing one), telling the views. Out of range does nothing.
void cdlistModelInsert(GtkTreeModel* model, int row, const std::string& fullPath);
void cdlistModelRemove(GtkTreeModel* model, int row);
// Tells the views that row's cells changed (its ID, say); out of range does nothing.
void cdlistModelChanged(GtkTreeModel* model, int row);
