#include "support/gui.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/gui.h"
#include "catalogue/cdsearch.h"
#include "clients/md5job.h"
#include "containers/linkedlist.h"
#include "containers/recently.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

namespace testsupport {

bool startGtk(int* argc, char*** argv) {
    if (gtk_init_check(argc, argv)) return true;
    fprintf(stderr, "No X display: start Xvfb and set DISPLAY (scripts/test.sh does).\n");
    return false;
}

Dialog::Dialog() = default;

Dialog::~Dialog() {
    if (!started_) return;
    on_gui_shutdown();
    for (const char* id : {"windowMain", "windowEditor"})
        if (GtkWidget* window = uiWidget(id)) gtk_widget_destroy(window);
    drain();
    g_object_unref(builder);
    builder = nullptr;
    windowMain = windowEditor = nullptr;
}

void Dialog::start(bool waitForScan) {
    GError* error = nullptr;
    ASSERT_NE(uiCreateBuilder(&error), nullptr);
    ASSERT_EQ(error, nullptr) << error->message;
    started_ = true;
    on_gui_build();
    guiStart();
    waitFor([] { return windowMain && shownOnScreen(GTK_WIDGET(windowMain)); },
            "the main window on screen");
    if (waitForScan) waitForCatalogue();
}

void Dialog::startWith(const std::string& settingsFile, bool waitForScan) {
    writeFile("discWren.ini", settingsFile);
    start(waitForScan);
}

bool Dialog::runUntilQuit(const std::function<void()>& action, int limitMs) {
    struct Run {
        std::function<void()> action;
        bool timedOut = false;
    } run{action};
    g_idle_add(
        [](gpointer data) -> gboolean {
            static_cast<Run*>(data)->action();
            return FALSE;
        },
        &run);
    guint timer = g_timeout_add(
        limitMs,
        [](gpointer data) -> gboolean {
            static_cast<Run*>(data)->timedOut = true;
            gtk_main_quit();
            return FALSE;
        },
        &run);
    gtk_main();
    if (!run.timedOut) g_source_remove(timer);
    return !run.timedOut;
}

bool Dialog::leave(const std::string& how) {
    return runUntilQuit([how] {
        if (how == "ok" || how == "cancel")
            gtk_button_clicked(
                GTK_BUTTON(uiWidget(how == "ok" ? "buttonMainOk" : "buttonMainCancel")));
        else if (how == "close")
            closeWindow(windowMain);
        else
            activateRow(0);
    });
}

GtkWidget* Dialog::widget(const char* id) {
    GtkWidget* found = uiWidget(id);
    EXPECT_NE(found, nullptr) << id;
    return found;
}

GtkMessageDialog* visibleMessageDialog() {
    GtkMessageDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it; it = it->next)
        if (GTK_IS_MESSAGE_DIALOG(it->data) && gtk_widget_get_visible(GTK_WIDGET(it->data)))
            found = GTK_MESSAGE_DIALOG(it->data);
    g_list_free(windows);
    return found;
}

void drain() {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

std::string cell(const char* store, int row, int column) {
    GtkTreeModel* model = GTK_TREE_MODEL(gtk_builder_get_object(builder, store));
    GtkTreeIter iter;
    if (!model || !gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return "<no row>";
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, column, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::vector<std::string> listed(const char* store, int column) {
    GtkTreeModel* model = GTK_TREE_MODEL(gtk_builder_get_object(builder, store));
    std::vector<std::string> all;
    for (int row = 0; model && row < gtk_tree_model_iter_n_children(model, nullptr); ++row)
        all.push_back(cell(store, row, column));
    return all;
}

std::vector<Row> rows() {
    std::vector<std::string> title = titles(), full = listed("liststoreMainCDList", CDLIST_FULL);
    std::vector<Row> all;
    for (size_t i = 0; i < title.size(); ++i) all.push_back({title[i], full[i]});
    return all;
}

std::vector<std::string> titles() { return listed("liststoreMainCDList", CDLIST_TITLE); }

std::string shownCell(int row, int column) {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeViewColumn* shown = gtk_tree_view_get_column(view, column);
    GtkTreeIter iter;
    if (!shown || !gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return "<no row>";
    gtk_tree_view_column_cell_set_cell_data(shown, model, &iter, FALSE, FALSE);
    GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(shown));
    gchar* text = nullptr;
    g_object_get(cells->data, "text", &text, nullptr);
    g_list_free(cells);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

void focusWindow(GtkWindow* window) {
    gtk_window_present(window);
    gdk_window_focus(gtk_widget_get_window(GTK_WIDGET(window)), GDK_CURRENT_TIME);
    waitFor([window] { return gtk_window_has_toplevel_focus(window); }, "the keyboard focus");
}

GtkWidget* findWidget(GtkWidget* root, GType type) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(root, type)) return root;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(root)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(root));
        for (GList* child = children; child && !found; child = child->next)
            found = findWidget(GTK_WIDGET(child->data), type);
        g_list_free(children);
    }
    return found;
}

namespace {

// The text of the tooltip window on screen, or nullptr while none shows.
const char* tooltipText() {
    const char* text = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* window = windows; window && !text; window = window->next) {
        GtkWidget* shown = GTK_WIDGET(window->data);
        if (gtk_widget_get_visible(shown) && strcmp(gtk_widget_get_name(shown), "gtk-tooltip") == 0)
            if (GtkWidget* label = findWidget(shown, GTK_TYPE_LABEL))
                text = gtk_label_get_text(GTK_LABEL(label));
    }
    g_list_free(windows);
    return text;
}

}  // namespace

std::string tooltipOnScreen() {
    const char* text = tooltipText();
    return text ? text : "";
}

int cursorRow() {
    GtkTreePath* path = nullptr;
    gtk_tree_view_get_cursor(GTK_TREE_VIEW(uiWidget("treeviewMainCDList")), &path, nullptr);
    int row = path ? gtk_tree_path_get_indices(path)[0] : -1;
    if (path) gtk_tree_path_free(path);
    return row;
}

void activateRow(int row) {
    GtkTreeView* view = GTK_TREE_VIEW(uiWidget("treeviewMainCDList"));
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
    gtk_tree_view_row_activated(view, path, gtk_tree_view_get_column(view, 0));
    gtk_tree_path_free(path);
}

std::string stateLine(bool* bar) {
    if (bar) *bar = gtk_widget_get_visible(uiWidget("progressbarMainScan"));
    return gtk_label_get_text(GTK_LABEL(uiWidget("labelMainScan")));
}

bool waitForCatalogue(int limitMs) {
    // The scan's notice wakes the main loop when it arrives.
    return waitFor([] { return !cdsearchScanBusy(); }, "the scan of the image folders", limitMs);
}

bool waitFor(const std::function<bool()>& done, const std::string& what, int limitMs) {
    const gint64 end = g_get_monotonic_time() + gint64{limitMs} * 1000;
    // Wakes the loop now and then, for conditions that no event announces.
    guint tick = g_timeout_add(
        5, [](gpointer) -> gboolean { return TRUE; }, nullptr);
    drain();
    bool met;
    while (!(met = done()) && g_get_monotonic_time() < end) {
        gtk_main_iteration_do(TRUE);
        drain();
    }
    g_source_remove(tick);
    if (!met) ADD_FAILURE() << "gave up waiting for " << what;
    return met;
}

void closeWindow(GtkWindow* window) {
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    gtk_main_do_event(event);
    gdk_event_free(event);
}

std::string tooltipOf(GtkWidget* widget) {
    gchar* text = gtk_widget_get_tooltip_text(widget);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

bool shownOnScreen(GtkWidget* widget) {
    GdkWindow* window = gtk_widget_get_window(widget);
    // GDK clears "withdrawn" when the server reports the window mapped.
    return window && gtk_widget_get_mapped(widget) &&
           !(gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN);
}

namespace {

constexpr int RULE_LIMIT_US = 30 * 1000000;
const char* const FOLDER_LOADED = "discwren-test-folder-loaded";

// Every file chooser notes each folder it has finished loading.
gboolean noteFolderLoaded(GSignalInvocationHint*, guint, const GValue* params, gpointer) {
    GObject* chooser = G_OBJECT(g_value_get_object(&params[0]));
    int loads = GPOINTER_TO_INT(g_object_get_data(chooser, FOLDER_LOADED));
    g_object_set_data(chooser, FOLDER_LOADED, GINT_TO_POINTER(loads + 1));
    return TRUE;
}

}  // namespace

Responder::Responder() {
    gpointer iface = g_type_default_interface_ref(GTK_TYPE_FILE_CHOOSER);
    folderSignal_ = g_signal_lookup("current-folder-changed", GTK_TYPE_FILE_CHOOSER);
    folderHook_ = g_signal_add_emission_hook(folderSignal_, 0, noteFolderLoaded, nullptr, nullptr);
    g_type_default_interface_unref(iface);
    source_ = g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
            static_cast<Responder*>(data)->check();
            return TRUE;
        },
        this);
}

Responder::~Responder() {
    g_source_remove(source_);
    g_signal_remove_emission_hook(folderSignal_, folderHook_);
}

void Responder::add(Kind kind, const std::string& title, Rule rule) {
    static int count = 0;
    ++count;
    entries_.push_back({kind, title, std::move(rule), "discwren-test-done-" + std::to_string(count),
                        "discwren-test-seen-" + std::to_string(count)});
}

void Responder::onMessage(Rule rule) { add(Kind::Message, "", std::move(rule)); }
void Responder::onChooser(Rule rule) { add(Kind::Chooser, "", std::move(rule)); }
void Responder::onWindow(const std::string& title, Rule rule) {
    add(Kind::Window, title, std::move(rule));
}

void Responder::answerMessages(int response) {
    onMessage([this, response](GtkWindow* window) {
        gchar* text = nullptr;
        g_object_get(window, "text", &text, nullptr);
        messages.push_back(text ? text : "");
        g_free(text);
        gtk_dialog_response(GTK_DIALOG(window), response);
        return true;
    });
}

void Responder::answerChooser(Pick* pick) {
    onChooser([pick](GtkWindow* window) {
        if (pick->answered) return true;
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(window);
        GObject* object = G_OBJECT(window);
        // Folder loads finished before the last pick; 0 before the first.
        int pickedAt = GPOINTER_TO_INT(g_object_get_data(object, "discwren-test-picked"));
        int loads = GPOINTER_TO_INT(g_object_get_data(object, FOLDER_LOADED));
        if (pickedAt == 0) {
            gchar* folder = gtk_file_chooser_get_current_folder(chooser);
            pick->openedIn = folder ? folder : "";
            g_free(folder);
        }
        // The chooser selects a file once it has loaded the file's folder; a
        // load that ends without the pick (one already under way) asks again.
        gchar* chosen = gtk_file_chooser_get_filename(chooser);
        bool ready = pick->path.empty() || (chosen && pick->path == chosen);
        g_free(chosen);
        if (!ready && loads > pickedAt) {
            gtk_file_chooser_set_filename(chooser, pick->path.c_str());
            g_object_set_data(object, "discwren-test-picked", GINT_TO_POINTER(loads));
        }
        if (!ready) return false;
        pick->answered = true;
        gtk_dialog_response(GTK_DIALOG(window),
                            pick->accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        return true;
    });
}

void Responder::check() {
    // Held while the rules run: a rule may close the window it answers.
    GList* windows = gtk_window_list_toplevels();
    g_list_foreach(
        windows, [](gpointer window, gpointer) { g_object_ref(window); }, nullptr);
    for (GList* it = windows; it; it = it->next) {
        GtkWindow* window = GTK_WINDOW(it->data);
        if (!gtk_widget_get_visible(GTK_WIDGET(window))) continue;
        for (Entry& entry : entries_) {
            bool fits = false;
            switch (entry.kind) {
            case Kind::Message:
                fits = GTK_IS_MESSAGE_DIALOG(window);
                break;
            case Kind::Chooser:
                fits = GTK_IS_FILE_CHOOSER_DIALOG(window) &&
                       g_object_get_data(G_OBJECT(window), FOLDER_LOADED);
                break;
            case Kind::Window: {
                const char* title = gtk_window_get_title(window);
                fits = !GTK_IS_MESSAGE_DIALOG(window) && title && entry.title == title;
                break;
            }
            }
            GObject* object = G_OBJECT(window);
            if (!fits || g_object_get_data(object, entry.doneKey.c_str())) continue;
            gint64 now = g_get_monotonic_time();
            auto* seen = static_cast<gint64*>(g_object_get_data(object, entry.seenKey.c_str()));
            if (!seen) {
                seen = g_new(gint64, 1);
                *seen = now;
                g_object_set_data_full(object, entry.seenKey.c_str(), seen, g_free);
            }
            bool done = entry.rule(window);
            if (!done && now - *seen > RULE_LIMIT_US) {
                const char* title = gtk_window_get_title(window);
                ADD_FAILURE() << "a dialog was not answered: " << (title ? title : "(untitled)");
                if (GTK_IS_DIALOG(window))
                    gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
                done = true;
            }
            if (done) g_object_set_data(object, entry.doneKey.c_str(), GINT_TO_POINTER(1));
            break;  // one rule per window and turn
        }
    }
    g_list_free_full(windows, g_object_unref);
}

void waitForMd5() {
    while (md5jobRunning()) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace testsupport
