#include "settings/settings.h"

#include <cstdio>
#include <cstring>

Settings settings;

char* const hotKey[HOTKEY_SLOTS * HOTKEY_COUNT] = {
    settings.hotkeys[0][0],  settings.hotkeys[1][0],  settings.hotkeys[2][0],
    settings.hotkeys[3][0],  settings.hotkeys[4][0],  settings.hotkeys[5][0],
    settings.hotkeys[6][0],  settings.hotkeys[7][0],  settings.hotkeys[8][0],
    settings.hotkeys[9][0],  settings.hotkeys[10][0], settings.hotkeys[0][1],
    settings.hotkeys[1][1],  settings.hotkeys[2][1],  settings.hotkeys[3][1],
    settings.hotkeys[4][1],  settings.hotkeys[5][1],  settings.hotkeys[6][1],
    settings.hotkeys[7][1],  settings.hotkeys[8][1],  settings.hotkeys[9][1],
    settings.hotkeys[10][1],
};

#define TEXT(sec, name, def)                                                                     \
    {                                                                                            \
        sec, #name, SettingKind::Text, offsetof(Settings, name), sizeof(Settings::name), 0, def, \
            false, 0, 0                                                                          \
    }
#define FLAG(sec, name, def) \
    { sec, #name, SettingKind::Flag, offsetof(Settings, name), 0, def, nullptr, false, 0, 0 }
#define INTEGER(sec, name, def) \
    { sec, #name, SettingKind::Integer, offsetof(Settings, name), 0, def, nullptr, false, 0, 0 }
#define RANGED(sec, name, def, lo, hi) \
    { sec, #name, SettingKind::Integer, offsetof(Settings, name), 0, def, nullptr, true, lo, hi }
#define LIST(sec, prefix, kind) \
    { sec, prefix, kind, 0, 0, 0, nullptr, false, 0, 0 }
#define HOTKEY(k, s, stem, def)                                                      \
    {                                                                                \
        "hot keys", stem #s, SettingKind::HotKey, offsetof(Settings, hotkeys[k][s]), \
            SETTINGS_SLOT_SIZE, 0, def, false, 0, 0                                  \
    }

// Default Ctrl+Alt+C, F9, F10 and F11 on the first keyboard; the last three
// carry key indices of fewer than four digits, as the plug-in has always
// shipped them.
const SettingField settingsFields[] = {
    TEXT("cd selection", current, ""),
    TEXT("cd selection", filter, ""),
    LIST("cd selection", "cddev", SettingKind::DeviceList),
    LIST("cd selection", "cdimgdir", SettingKind::DirectoryList),
    LIST("recently", "", SettingKind::RecentList),

    FLAG("cdrom property", playcdxa, 1),
    RANGED("cdrom property", cdxavolumelevel, 100, 0, 100),
    FLAG("cdrom property", playcdda, 1),
    RANGED("cdrom property", cddavolumelevel, 100, 0, 100),
    FLAG("cdrom property", readsubchannels, 1),
    FLAG("cdrom property", ppfpatching, 1),
    RANGED("cdrom property", speedlimitation, 0, 0, 32),
    RANGED("cdrom property", tryagainonerror, 5, 0, 16),
    RANGED("cdrom property", spindowntime, 0, 0, 600),
    FLAG("cdrom property", caching, 1),
    RANGED("cdrom property", cachinglevel, 20000, 10, 100000),

    HOTKEY(0, 0, "configdialog", "0110004436"),
    HOTKEY(1, 0, "showstatus", ""),
    HOTKEY(2, 0, "togglecdxa", ""),
    HOTKEY(3, 0, "togglecdda", ""),
    HOTKEY(4, 0, "decreasecdxavolume", ""),
    HOTKEY(5, 0, "increasecdxavolume", ""),
    HOTKEY(6, 0, "decreasecddavolume", ""),
    HOTKEY(7, 0, "increasecddavolume", ""),
    HOTKEY(8, 0, "coveropen", "0110004b"),
    HOTKEY(9, 0, "coverclose", "0110004c"),
    HOTKEY(10, 0, "cdswapping", "0110005f"),
    HOTKEY(0, 1, "configdialog", ""),
    HOTKEY(1, 1, "showstatus", ""),
    HOTKEY(2, 1, "togglecdxa", ""),
    HOTKEY(3, 1, "togglecdda", ""),
    HOTKEY(4, 1, "decreasecdxavolume", ""),
    HOTKEY(5, 1, "increasecdxavolume", ""),
    HOTKEY(6, 1, "decreasecddavolume", ""),
    HOTKEY(7, 1, "increasecddavolume", ""),
    HOTKEY(8, 1, "coveropen", ""),
    HOTKEY(9, 1, "coverclose", ""),
    HOTKEY(10, 1, "cdswapping", ""),

    FLAG("misc", showstatus, 1),
    FLAG("misc", coveropened, 0),
    FLAG("misc", calldialogonstart, 0),
    FLAG("misc", enablelogging, 0),
    FLAG("misc", enabledebugger, 0),
    FLAG("misc", savedialogparameters, 0),
    FLAG("misc", savesettingsonexit, 0),
    INTEGER("misc", dialogx, 100),
    INTEGER("misc", dialogy, 100),
    INTEGER("misc", dialogw, 100),
    INTEGER("misc", dialogh, 100),
    TEXT("misc", language, "en_EN.utf-8"),
};

const int settingsFieldCount = sizeof settingsFields / sizeof settingsFields[0];

#undef TEXT
#undef FLAG
#undef INTEGER
#undef RANGED
#undef LIST
#undef HOTKEY

char* settingsText(Settings* s, const SettingField& field) {
    return reinterpret_cast<char*>(s) + field.offset;
}

int32_t* settingsNumber(Settings* s, const SettingField& field) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(s) + field.offset);
}

void settingsLoadDefault(Settings* s) {
    memset(s->current, 0, sizeof s->current);
    memset(s->filter, 0, sizeof s->filter);
    for (int i = 0; i < settingsFieldCount; i++) {
        const SettingField& field = settingsFields[i];
        switch (field.kind) {
        case SettingKind::Text:
        case SettingKind::HotKey:
            snprintf(settingsText(s, field), field.size, "%s", field.defaultText);
            break;
        case SettingKind::Flag:
        case SettingKind::Integer:
            *settingsNumber(s, field) = field.defaultNumber;
            break;
        default:
            break;
        }
    }
}

void settingsCheck(Settings* s) {
    for (int i = 0; i < settingsFieldCount; i++) {
        const SettingField& field = settingsFields[i];
        if (!field.clamped) continue;
        int32_t* value = settingsNumber(s, field);
        if (*value < field.low) *value = field.low;
        if (*value > field.high) *value = field.high;
    }
}
