// The plug-in settings record, its defaults and its range check.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SETTINGS_PATH_SIZE = 4096;   // current disc: at most 4095 characters
constexpr int SETTINGS_FILTER_SIZE = 512;  // catalogue name filter
constexpr int SETTINGS_SLOT_SIZE = 32;     // one hot-key combination in text form
constexpr int SETTINGS_LANGUAGE_SIZE = 32;
constexpr int HOTKEY_COUNT = 11;
constexpr int HOTKEY_SLOTS = 2;

// Field order and widths are shared with the plug-in; do not reorder.
struct Settings {
    char current[SETTINGS_PATH_SIZE];
    char filter[SETTINGS_FILTER_SIZE];
    int32_t playcdxa;
    int32_t cdxavolumelevel;
    int32_t playcdda;
    int32_t cddavolumelevel;
    int32_t readsubchannels;
    int32_t ppfpatching;
    int32_t speedlimitation;
    int32_t tryagainonerror;
    int32_t spindowntime;
    int32_t caching;
    int32_t cachinglevel;
    char hotkeys[HOTKEY_COUNT][HOTKEY_SLOTS][SETTINGS_SLOT_SIZE];
    int32_t showstatus;
    int32_t coveropened;
    int32_t calldialogonstart;
    int32_t enablelogging;
    int32_t enabledebugger;
    int32_t savedialogparameters;
    int32_t savesettingsonexit;
    int32_t dialogx;
    int32_t dialogy;
    int32_t dialogw;
    int32_t dialogh;
    char language[SETTINGS_LANGUAGE_SIZE];
};

extern Settings settings;

// The hot-key slots of settings as one flat list: hotKey[h] is the first slot
// of hot key h, hotKey[h + HOTKEY_COUNT] its second.
extern char* const hotKey[HOTKEY_SLOTS * HOTKEY_COUNT];

// How a setting is kept in the settings file.
enum class SettingKind {
    Text,           // text field, kept as written
    Flag,           // 0/1 field, written "true"/"false"
    Integer,        // int32 field, written "%i", read like strtol base 0
    HotKey,         // hot-key slot; a missing key clears the slot
    DeviceList,     // catalogue devices, keys <key>0, <key>1, ...
    DirectoryList,  // catalogue image directories, keys <key>0, ...
    RecentList,     // recently opened discs, keys 0, 1, ...
};

// One setting: where it lives in the file and in the record. The table lists
// them in the order of the file; reading, writing, defaults and the range
// check all walk it.
struct SettingField {
    const char* section;
    const char* key;  // key name, or the prefix of an indexed list
    SettingKind kind;
    size_t offset;            // field offset in Settings (not used by lists)
    size_t size;              // text capacity in bytes (Text, HotKey)
    int32_t defaultNumber;    // Flag, Integer
    const char* defaultText;  // Text, HotKey
    bool clamped;             // Integer fields brought into [low, high]
    int32_t low;
    int32_t high;
};

extern const SettingField settingsFields[];
extern const int settingsFieldCount;

// Pointers into a record for one table entry.
char* settingsText(Settings* s, const SettingField& field);
int32_t* settingsNumber(Settings* s, const SettingField& field);

void settingsLoadDefault(Settings* s);  // every field to its default; lists untouched
void settingsCheck(Settings* s);        // clamps the ranged integers
