#include "ui/widget_fields.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "settings/settings.h"
#include "ui/ui.h"

namespace {

struct WidgetField {
    WidgetPage page;
    const char* id;
    int32_t* field;
};

const WidgetField widgetFields[] = {
    // CD-ROM properties
    {WidgetPage::Main, "checkbuttonMainCDXAPlaying", &settings.playcdxa},
    {WidgetPage::Main, "spinbuttonMainCDXAVolumeLevel", &settings.cdxavolumelevel},
    {WidgetPage::Main, "checkbuttonMainCDDAPlaying", &settings.playcdda},
    {WidgetPage::Main, "spinbuttonMainCDDAVolumeLevel", &settings.cddavolumelevel},
    {WidgetPage::Main, "checkbuttonMainReadSubchannels", &settings.readsubchannels},
    {WidgetPage::Main, "checkbuttonMainPPFPatching", &settings.ppfpatching},
    {WidgetPage::Main, "spinbuttonMainSpeedLimitation", &settings.speedlimitation},
    {WidgetPage::Main, "spinbuttonMainAgainOnError", &settings.tryagainonerror},
    {WidgetPage::Main, "comboboxMainSpinDownTime", &settings.spindowntime},
    {WidgetPage::Main, "comboboxMainCaching", &settings.caching},
    {WidgetPage::Main, "spinbuttonMainCacheSize", &settings.cachinglevel},
    // Misc: other
    {WidgetPage::Misc, "checkbuttonMainShowStatus", &settings.showstatus},
    {WidgetPage::Misc, "checkbuttonMainCoverOpened", &settings.coveropened},
    {WidgetPage::Misc, "checkbuttonMainCallDialogOnStart", &settings.calldialogonstart},
    {WidgetPage::Misc, "checkbuttonMainEnableLogging", &settings.enablelogging},
    {WidgetPage::Misc, "checkbuttonMainEnableDebugger", &settings.enabledebugger},
    {WidgetPage::Misc, "checkbuttonMainSaveDialogParameters", &settings.savedialogparameters},
    {WidgetPage::Misc, "checkbuttonMainSaveSettingsOnExit", &settings.savesettingsonexit},
};

// The value the widget shows, as its field stores it. A spin button is an
// entry, not a toggle, so the kinds do not overlap.
int32_t shownValue(GtkWidget* widget) {
    if (GTK_IS_TOGGLE_BUTTON(widget))
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? 1 : 0;
    if (GTK_IS_SPIN_BUTTON(widget))
        return static_cast<int32_t>(lround(gtk_spin_button_get_value(GTK_SPIN_BUTTON(widget))));
    return gtk_combo_box_get_active(GTK_COMBO_BOX(widget));
}

void show(GtkWidget* widget, int32_t value) {
    if (GTK_IS_TOGGLE_BUTTON(widget)) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), value != 0);
    } else if (GTK_IS_SPIN_BUTTON(widget)) {
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget), value);
    } else {
        GtkComboBox* combo = GTK_COMBO_BOX(widget);
        int rows = gtk_tree_model_iter_n_children(gtk_combo_box_get_model(combo), nullptr);
        // An index with no entry leaves the combo box empty.
        gtk_combo_box_set_active(combo, value >= 0 && value < rows ? value : -1);
    }
}

}  // namespace

void widgetFieldsShow(WidgetPage page) {
    for (const WidgetField& entry : widgetFields) {
        GtkWidget* widget = entry.page == page ? uiWidget(entry.id) : nullptr;
        if (!widget) continue;
        show(widget, *entry.field);
        // Stored again: setting a widget to what it shows runs no handler.
        *entry.field = shownValue(widget);
    }
}

void widgetFieldStore(GtkWidget* widget) {
    const char* id = widget && GTK_IS_BUILDABLE(widget)
                         ? gtk_buildable_get_name(GTK_BUILDABLE(widget))
                         : nullptr;
    if (!id) return;
    for (const WidgetField& entry : widgetFields)
        if (strcmp(entry.id, id) == 0) {
            *entry.field = shownValue(widget);
            return;
        }
}
