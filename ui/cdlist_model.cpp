#include "ui/cdlist_model.h"

#include "ui/tab_main.h"
#include "ui/ui.h"

namespace {

struct CdlistModel {
    GObject parent;
    std::vector<std::string>* rows;
    gint stamp;  // iters of another stamp are stale: the rows changed since
};

struct CdlistModelClass {
    GObjectClass parent;
};

GObjectClass* parentClass = nullptr;

CdlistModel* modelOf(GtkTreeModel* model) {
    return G_TYPE_CHECK_INSTANCE_TYPE(model, cdlistModelGetType())
               ? reinterpret_cast<CdlistModel*>(model)
               : nullptr;
}

// The row an iter of self points to, or -1 for a stale or foreign one.
int rowOf(CdlistModel* self, GtkTreeIter* iter) {
    int row = iter && iter->stamp == self->stamp ? GPOINTER_TO_INT(iter->user_data) : -1;
    return row >= 0 && size_t(row) < self->rows->size() ? row : -1;
}

gboolean setIter(CdlistModel* self, GtkTreeIter* iter, int row) {
    if (row < 0 || size_t(row) >= self->rows->size()) {
        iter->stamp = 0;
        return FALSE;
    }
    iter->stamp = self->stamp;
    iter->user_data = GINT_TO_POINTER(row);
    iter->user_data2 = iter->user_data3 = nullptr;
    return TRUE;
}

// Views hold no iter across a change; a new stamp makes any kept one stale.
void changed(CdlistModel* self) {
    if (++self->stamp == 0) self->stamp = 1;
}

GtkTreeModelFlags getFlags(GtkTreeModel*) { return GTK_TREE_MODEL_LIST_ONLY; }

gint getNColumns(GtkTreeModel*) { return CDLIST_FULL + 1; }

GType getColumnType(GtkTreeModel*, gint) { return G_TYPE_STRING; }

gboolean getIter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
    CdlistModel* self = modelOf(model);
    if (gtk_tree_path_get_depth(path) != 1) return setIter(self, iter, -1);
    return setIter(self, iter, gtk_tree_path_get_indices(path)[0]);
}

GtkTreePath* getPath(GtkTreeModel* model, GtkTreeIter* iter) {
    int row = rowOf(modelOf(model), iter);
    return row < 0 ? nullptr : gtk_tree_path_new_from_indices(row, -1);
}

// A path's folder part ends at its last '/', as the catalogue's records split it.
void getValue(GtkTreeModel* model, GtkTreeIter* iter, gint column, GValue* value) {
    g_value_init(value, G_TYPE_STRING);
    CdlistModel* self = modelOf(model);
    int row = rowOf(self, iter);
    if (row < 0) return;
    const std::string& full = (*self->rows)[row];
    size_t name = full.rfind('/') + 1;  // 0 when there is none
    gchar* scratch = nullptr;
    switch (column) {
    case CDLIST_TITLE:
        g_value_set_string(value, uiDisplayable(full.c_str() + name, &scratch));
        break;
    case CDLIST_PATH:
        g_value_set_string(value, uiDisplayable(full.substr(0, name).c_str(), &scratch));
        break;
    case CDLIST_GAMEID:
        g_value_set_string(value, tabMainIdText(full, &scratch));
        break;
    case CDLIST_FULL:
        g_value_set_string(value, full.c_str());
        break;
    }
    g_free(scratch);
}

gboolean iterNext(GtkTreeModel* model, GtkTreeIter* iter) {
    CdlistModel* self = modelOf(model);
    int row = rowOf(self, iter);
    return setIter(self, iter, row < 0 ? -1 : row + 1);
}

gboolean iterNthChild(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n) {
    return setIter(modelOf(model), iter, parent ? -1 : n);
}

gboolean iterChildren(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
    return iterNthChild(model, iter, parent, 0);
}

gboolean iterHasChild(GtkTreeModel*, GtkTreeIter*) { return FALSE; }

gint iterNChildren(GtkTreeModel* model, GtkTreeIter* iter) {
    return iter ? 0 : gint(modelOf(model)->rows->size());
}

gboolean iterParent(GtkTreeModel*, GtkTreeIter* iter, GtkTreeIter*) {
    iter->stamp = 0;
    return FALSE;
}

void initTreeModel(gpointer iface, gpointer) {
    auto* model = static_cast<GtkTreeModelIface*>(iface);
    model->get_flags = getFlags;
    model->get_n_columns = getNColumns;
    model->get_column_type = getColumnType;
    model->get_iter = getIter;
    model->get_path = getPath;
    model->get_value = getValue;
    model->iter_next = iterNext;
    model->iter_children = iterChildren;
    model->iter_has_child = iterHasChild;
    model->iter_n_children = iterNChildren;
    model->iter_nth_child = iterNthChild;
    model->iter_parent = iterParent;
}

void initInstance(GTypeInstance* instance, gpointer) {
    auto* self = reinterpret_cast<CdlistModel*>(instance);
    self->rows = new std::vector<std::string>();
    self->stamp = 1;
}

void finalize(GObject* object) {
    delete reinterpret_cast<CdlistModel*>(object)->rows;
    parentClass->finalize(object);
}

void initClass(gpointer klass, gpointer) {
    parentClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = finalize;
}

}  // namespace

GType cdlistModelGetType(void) {
    static gsize type = 0;
    if (g_once_init_enter(&type)) {
        GType registered = g_type_register_static_simple(
            G_TYPE_OBJECT, "DiscwrenCdList", sizeof(CdlistModelClass), initClass,
            sizeof(CdlistModel), initInstance, GTypeFlags(0));
        static const GInterfaceInfo treeModel = {initTreeModel, nullptr, nullptr};
        g_type_add_interface_static(registered, GTK_TYPE_TREE_MODEL, &treeModel);
        g_once_init_leave(&type, registered);
    }
    return type;
}

const std::vector<std::string>& cdlistModelRows(GtkTreeModel* model) {
    static const std::vector<std::string> none;
    CdlistModel* self = modelOf(model);
    return self ? *self->rows : none;
}

void cdlistModelReplace(GtkTreeModel* model, std::vector<std::string> rows) {
    if (CdlistModel* self = modelOf(model)) {
        self->rows->swap(rows);
        changed(self);
    }
}

void cdlistModelInsert(GtkTreeModel* model, int row, const std::string& fullPath) {
    CdlistModel* self = modelOf(model);
    if (!self || row < 0 || size_t(row) > self->rows->size()) return;
    self->rows->insert(self->rows->begin() + row, fullPath);
    changed(self);
    GtkTreeIter iter;
    setIter(self, &iter, row);
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_inserted(model, path, &iter);
    gtk_tree_path_free(path);
}

void cdlistModelRemove(GtkTreeModel* model, int row) {
    CdlistModel* self = modelOf(model);
    if (!self || row < 0 || size_t(row) >= self->rows->size()) return;
    self->rows->erase(self->rows->begin() + row);
    changed(self);
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_deleted(model, path);
    gtk_tree_path_free(path);
}

void cdlistModelChanged(GtkTreeModel* model, int row) {
    CdlistModel* self = modelOf(model);
    GtkTreeIter iter;
    if (!self || !setIter(self, &iter, row)) return;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_changed(model, path, &iter);
    gtk_tree_path_free(path);
}
