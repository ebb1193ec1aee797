#include "ui/ui.h"

#include <cstring>
#include <vector>

#include "ui/cdlist_model.h"

GtkBuilder* builder;
GtkWindow* windowMain;
GtkWindow* windowEditor;
GtkWidget* widget;
GdkPixbuf* gdkpixbufpsxIco;
GdkPixbuf* gdkpixbufclear;
GdkPixbuf* gdkpixbufflags[4];
GdkCursor* busycursor;
int32_t desktopWidth;
int32_t desktopHeight;

namespace {

// The editor's top-level objects: its window and the stores it shows.
bool editorObject(const char* id) { return strstr(id, "Editor") != nullptr; }

// Loads the top-level objects of one part (with their children) and connects
// the handlers they name.
void loadObjects(bool editor, GError** error) {
    std::vector<gchar*> ids;
    for (int i = 0; i < uiTopLevelCount; i++)
        if (editorObject(uiTopLevelIds[i]) == editor)
            ids.push_back(const_cast<gchar*>(uiTopLevelIds[i]));
    ids.push_back(nullptr);
    gtk_builder_add_objects_from_string(builder, uiDefinition, uiDefinitionLength, ids.data(),
                                        error);
    gtk_builder_connect_signals(builder, nullptr);
}

}  // namespace

GtkBuilder* uiCreateBuilder(GError** error) {
    builder = gtk_builder_new();
    if (!builder) return nullptr;
    gtk_builder_set_translation_domain(builder, "discWren");
    // The definition names the CD list's model by its type's name.
    g_type_ensure(cdlistModelGetType());
    loadObjects(false, error);
    return builder;
}

bool uiLoadEditor(GError** error) {
    if (!builder) return false;
    if (!gtk_builder_get_object(builder, "windowEditor")) loadObjects(true, error);
    return gtk_builder_get_object(builder, "windowEditor") != nullptr;
}

GtkTreeModel* uiTreeModel(const char* id) {
    GObject* object = builder ? gtk_builder_get_object(builder, id) : nullptr;
    return object && GTK_IS_TREE_MODEL(object) ? GTK_TREE_MODEL(object) : nullptr;
}

GtkWidget* uiWidget(const char* id) {
    GObject* object = builder ? gtk_builder_get_object(builder, id) : nullptr;
    return object && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

const char* uiDisplayable(const char* text, gchar** scratch) {
    if (g_utf8_validate(text, -1, nullptr)) return text;
    g_free(*scratch);
    *scratch = g_filename_display_name(text);
    return *scratch;
}

GtkListStore* uiListStore(const char* id) {
    GObject* object = builder ? gtk_builder_get_object(builder, id) : nullptr;
    return object && GTK_IS_LIST_STORE(object) ? GTK_LIST_STORE(object) : nullptr;
}

int uiSelectedRow(GtkTreeView* view, GtkTreeIter* iter) {
    GtkTreeModel* model = nullptr;
    GtkTreeIter selected;
    if (!view ||
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &selected))
        return -1;
    GtkTreePath* path = gtk_tree_model_get_path(model, &selected);
    int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    if (iter) *iter = selected;
    return row;
}
