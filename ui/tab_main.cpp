#include "ui/tab_main.h"

#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/recently.h"
#include "settings/settings.h"
#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/ui.h"
#include "ui/widget_fields.h"
#include "ui/window_main.h"

GtkWidget* recentlyMenu;

namespace {

// Reads the size of the first screen's root window from GDK's own connection,
// which already knows it; without a display the previous size stays.
void readDesktopSize() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GdkScreen* screen = gdk_display_get_screen(display, 0);
    desktopWidth = gdk_screen_get_width(screen);
    desktopHeight = gdk_screen_get_height(screen);
}

// "Get ID" and "Calc md5" act on the current disc: call when it changes.
void updateDiscButtons() {
    tabMainUpdateGetId();
    if (GtkWidget* button = uiWidget("buttonMainCalcMd5"))
        gtk_widget_set_sensitive(button, tabMainNamesDisc(settings.current));
}

void selectRecently(int index) {
    char* entry = recentlyGet(index);
    if (entry && index < recentlyQuantity())
        tabMainCopyCut(settings.current, sizeof settings.current, entry);
    updateDiscButtons();
}

// The menu has nothing to offer while the list is empty.
void updateRecentlyButton() {
    if (GtkWidget* button = uiWidget("buttonMainRecentlyOpened"))
        gtk_widget_set_sensitive(button, recentlyQuantity() > 0);
}

// The last count folders of folder ("" or one ending in '/'), or all of it.
std::string folderTail(const std::string& folder, int count) {
    size_t at = folder.size() > 0 ? folder.size() - 1 : 0;
    while (count-- > 0) {
        size_t slash = at > 0 ? folder.rfind('/', at - 1) : std::string::npos;
        if (slash == std::string::npos || slash == 0) return folder;
        at = slash;
    }
    return folder.substr(at + 1);
}

}  // namespace

std::vector<std::string> tabMainRecentlyLabels(const std::vector<std::string>& entries) {
    std::vector<std::string> names, folders;
    for (const std::string& entry : entries) {
        size_t slash = entry.rfind('/');
        size_t cut = slash == std::string::npos ? 0 : slash + 1;
        folders.push_back(entry.substr(0, cut));
        names.push_back(entry.substr(cut));
    }
    std::vector<std::string> labels = names;
    for (size_t i = 0; i < entries.size(); i++) {
        bool shared = false;
        for (size_t j = 0; j < entries.size(); j++) shared |= j != i && names[j] == names[i];
        if (!shared || folders[i].empty()) continue;
        // The fewest folders from the end that no other entry of that name ends in.
        std::string tail;
        for (int count = 1;; count++) {
            tail = folderTail(folders[i], count);
            bool distinct = true;
            for (size_t j = 0; j < entries.size(); j++)
                if (j != i && names[j] == names[i] && folderTail(folders[j], count) == tail)
                    distinct = false;
            if (distinct || tail == folders[i]) break;
        }
        labels[i] += " — " + (tail == folders[i] ? tail : "…/" + tail);
    }
    return labels;
}

bool tabMainNamesDisc(const char* current) { return current[0] && strcmp(current, noCdName) != 0; }

// Copies at most size - 1 bytes of text into out; valid UTF-8 is cut at a
// character boundary, so that the filter entry can show what is kept.
void tabMainCopyCut(char* out, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length >= size) {
        length = size - 1;
        if (g_utf8_validate(text, -1, nullptr))
            while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
                length--;
    }
    memcpy(out, text, length);
    out[length] = '\0';
}

extern "C" {

void on_tab_main_init(void) {
    tabMainInitCdList();
    recentlySetNotify(updateRecentlyButton);
    gdkpixbufclear = imagesClearIcon();
    widget = uiWidget("buttonMainFilterClear");
    if (widget) gtk_button_set_image(GTK_BUTTON(widget), gtk_image_new_from_pixbuf(gdkpixbufclear));
}

void on_tab_main_update(void) {
    static int nesting = 0;
    readDesktopSize();

    // A changed text runs the filter handler, and with it one nested update.
    widget = uiWidget("entryMainFilterText");
    if (widget) {
        gchar* shown = nullptr;
        ++nesting;
        gtk_entry_set_text(GTK_ENTRY(widget), uiDisplayable(settings.filter, &shown));
        --nesting;
        g_free(shown);
    }

    // A nested update leaves the scan to the outer one.
    cdsearchSetFilter(settings.filter);
    tabMainShowCdList(nesting == 0);
    widgetFieldsShow(WidgetPage::Main);
    updateDiscButtons();
    updateRecentlyButton();
}

void on_treeviewMainCDList_cursor_changed(GtkTreeView* view, gpointer) {
    GtkTreePath* path = nullptr;
    gtk_tree_view_get_cursor(view, &path, nullptr);
    if (!path) return;
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    if (model && gtk_tree_model_get_iter(model, &iter, path)) {
        gchar* full = nullptr;
        gtk_tree_model_get(model, &iter, CDLIST_FULL, &full, -1);
        if (full) tabMainCopyCut(settings.current, sizeof settings.current, full);
        g_free(full);
    }
    gtk_tree_path_free(path);
    updateDiscButtons();
}

void on_entryMainFilterText_changed(GtkEditable* entry, gpointer) {
    tabMainCopyCut(settings.filter, sizeof settings.filter, gtk_entry_get_text(GTK_ENTRY(entry)));
    on_tab_main_update();
}

void on_buttonMainFilterClear_clicked(GtkButton*, gpointer) {
    settings.filter[0] = '\0';
    on_tab_main_update();
    if ((widget = uiWidget("entryMainFilterText"))) gtk_widget_grab_focus(widget);
}

void on_buttonMainRecentlyOpened_clicked(GtkButton*, gpointer) {
    static const GCallback handlers[RECENTLY_CAPACITY] = {
        G_CALLBACK(popupmenu_item0_selected),  G_CALLBACK(popupmenu_item1_selected),
        G_CALLBACK(popupmenu_item2_selected),  G_CALLBACK(popupmenu_item3_selected),
        G_CALLBACK(popupmenu_item4_selected),  G_CALLBACK(popupmenu_item5_selected),
        G_CALLBACK(popupmenu_item6_selected),  G_CALLBACK(popupmenu_item7_selected),
        G_CALLBACK(popupmenu_item8_selected),  G_CALLBACK(popupmenu_item9_selected),
        G_CALLBACK(popupmenu_item10_selected), G_CALLBACK(popupmenu_item11_selected),
        G_CALLBACK(popupmenu_item12_selected), G_CALLBACK(popupmenu_item13_selected),
        G_CALLBACK(popupmenu_item14_selected), G_CALLBACK(popupmenu_item15_selected),
        G_CALLBACK(popupmenu_item16_selected), G_CALLBACK(popupmenu_item17_selected),
        G_CALLBACK(popupmenu_item18_selected), G_CALLBACK(popupmenu_item19_selected),
    };
    if (recentlyMenu) {
        gtk_widget_destroy(recentlyMenu);
        g_object_unref(recentlyMenu);
    }
    recentlyMenu = gtk_menu_new();
    g_object_ref_sink(recentlyMenu);

    int count = recentlyQuantity();
    if (count > RECENTLY_CAPACITY) count = RECENTLY_CAPACITY;
    std::vector<std::string> entries;
    for (int i = 0; i < count; i++) entries.push_back(recentlyGet(i));
    std::vector<std::string> labels = tabMainRecentlyLabels(entries);
    char label[SETTINGS_FILTER_SIZE];
    for (int i = 0; i < count; i++) {
        tabMainCopyCut(label, sizeof label, labels[i].c_str());
        gchar* shown = nullptr;
        GtkWidget* item = gtk_menu_item_new_with_label(uiDisplayable(label, &shown));
        g_free(shown);
        gtk_menu_shell_append(GTK_MENU_SHELL(recentlyMenu), item);
        // The entry becomes the current disc first, then OK saves and ends.
        g_signal_connect(item, "activate", handlers[i], nullptr);
        g_signal_connect(item, "activate", G_CALLBACK(on_buttonMainOk_clicked), nullptr);
    }
    gtk_widget_show_all(recentlyMenu);
    gtk_menu_popup(GTK_MENU(recentlyMenu), nullptr, nullptr, nullptr, nullptr, 0, 0);
}

// Property handlers: each stores its widget's value into its field.
void on_checkbuttonMainCDXAPlaying_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainCDXAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_checkbuttonMainCDDAPlaying_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainCDDAVolumeLevel_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_checkbuttonMainReadSubchannels_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_checkbuttonMainPPFPatching_toggled(GtkToggleButton* button, gpointer) {
    widgetFieldStore(GTK_WIDGET(button));
}
void on_spinbuttonMainSpeedLimitation_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_spinbuttonMainAgainOnError_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}
void on_comboboxMainSpinDownTime_changed(GtkComboBox* combo, gpointer) {
    widgetFieldStore(GTK_WIDGET(combo));
}
void on_comboboxMainCaching_changed(GtkComboBox* combo, gpointer) {
    widgetFieldStore(GTK_WIDGET(combo));
}
void on_spinbuttonMainCacheSize_value_changed(GtkSpinButton* spin, gpointer) {
    widgetFieldStore(GTK_WIDGET(spin));
}

#define DISCWREN_RECENTLY_HANDLER(N) \
    void popupmenu_item##N##_selected(GtkWidget*, void*) { selectRecently(N); }
DISCWREN_RECENTLY_HANDLER(0)
DISCWREN_RECENTLY_HANDLER(1)
DISCWREN_RECENTLY_HANDLER(2)
DISCWREN_RECENTLY_HANDLER(3)
DISCWREN_RECENTLY_HANDLER(4)
DISCWREN_RECENTLY_HANDLER(5)
DISCWREN_RECENTLY_HANDLER(6)
DISCWREN_RECENTLY_HANDLER(7)
DISCWREN_RECENTLY_HANDLER(8)
DISCWREN_RECENTLY_HANDLER(9)
DISCWREN_RECENTLY_HANDLER(10)
DISCWREN_RECENTLY_HANDLER(11)
DISCWREN_RECENTLY_HANDLER(12)
DISCWREN_RECENTLY_HANDLER(13)
DISCWREN_RECENTLY_HANDLER(14)
DISCWREN_RECENTLY_HANDLER(15)
DISCWREN_RECENTLY_HANDLER(16)
DISCWREN_RECENTLY_HANDLER(17)
DISCWREN_RECENTLY_HANDLER(18)
DISCWREN_RECENTLY_HANDLER(19)
#undef DISCWREN_RECENTLY_HANDLER

}  // extern "C"
