#include "settings/settingsfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "catalogue/cdsearch.h"
#include "containers/recently.h"
#include "settings/inifile.h"

namespace {

std::string entryName(const SettingField& field, int index = -1) {
    std::string name = std::string(field.section) + ":" + field.key;
    if (index >= 0) name += std::to_string(index);
    return name;
}

// Copies a value into its field, cut to fit, in a form the writer can carry.
void copyText(char* to, size_t size, const char* from) {
    std::string text(from, strnlen(from, size - 1));
    iniMakeWritable(&text);
    snprintf(to, size, "%s", text.c_str());
}

// Hands each value of an indexed list, in a form the writer can carry, to
// add; the list ends at the first missing index.
template <typename Add>
void readList(const dictionary* dict, const SettingField& field, Add add) {
    for (int i = 0;; i++) {
        const char* found = iniparser_getstring(dict, entryName(field, i).c_str(), nullptr);
        if (!found) return;
        std::string value = found;
        iniMakeWritable(&value);
        add(value.c_str());
    }
}

// Integers are read like strtol with base 0 and saturate at the int32 limits.
int32_t readInteger(const dictionary* dict, const SettingField& field) {
    long value = iniparser_getlongint(dict, entryName(field).c_str(), field.defaultNumber);
    if (value < INT32_MIN) return INT32_MIN;
    if (value > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(value);
}

void readField(const dictionary* dict, const SettingField& field, Settings* s) {
    switch (field.kind) {
    case SettingKind::Text:
    case SettingKind::HotKey: {
        // A missing text keeps its default; a missing hot key is unassigned.
        const char* value = iniparser_getstring(dict, entryName(field).c_str(), nullptr);
        if (value)
            copyText(settingsText(s, field), field.size, value);
        else if (field.kind == SettingKind::HotKey)
            settingsText(s, field)[0] = '\0';
        break;
    }
    case SettingKind::Flag:
        *settingsNumber(s, field) =
            iniparser_getboolean(dict, entryName(field).c_str(), field.defaultNumber);
        break;
    case SettingKind::Integer:
        *settingsNumber(s, field) = readInteger(dict, field);
        break;
    case SettingKind::DeviceList:
        readList(dict, field, cdsearchAddDevice);
        break;
    case SettingKind::DirectoryList:
        readList(dict, field, cdsearchAddDirectory);
        break;
    case SettingKind::RecentList:
        readList(dict, field, [](const char* path) { recentlyAppend(strdup(path)); });
        break;
    }
}

// Enters one key with its written form; false when the value cannot be
// written and the key is left out.
bool enter(dictionary* dict, const std::string& name, const char* value) {
    std::string written;
    if (!iniEncodeValue(value, &written)) return false;
    dictionary_set(dict, name.c_str(), written.c_str());
    return true;
}

// Indexed lists stay without gaps when an entry cannot be written.
template <typename Get>
void enterList(dictionary* dict, const SettingField& field, int quantity, Get get) {
    int written = 0;
    for (int i = 0; i < quantity; i++) {
        std::string value = get(i);
        if (!value.empty() && enter(dict, entryName(field, written), value.c_str())) written++;
    }
}

void writeField(dictionary* dict, const SettingField& field, Settings* s) {
    switch (field.kind) {
    case SettingKind::Text:
    case SettingKind::HotKey: {
        // A field filled to its width without a terminator is written cut to fit.
        std::string text(settingsText(s, field), strnlen(settingsText(s, field), field.size - 1));
        enter(dict, entryName(field), text.c_str());
        break;
    }
    case SettingKind::Flag:
        enter(dict, entryName(field), *settingsNumber(s, field) ? "true" : "false");
        break;
    case SettingKind::Integer:
        enter(dict, entryName(field), std::to_string(*settingsNumber(s, field)).c_str());
        break;
    case SettingKind::DeviceList:
        enterList(dict, field, cdsearchDeviceQuantity(), [](int i) {
            CD* cd = cdsearchDeviceGet(i);
            return cd ? cdFullPath(cd) : std::string();
        });
        break;
    case SettingKind::DirectoryList:
        enterList(dict, field, cdsearchDirectoryQuantity(), [](int i) {
            const char* directory = cdsearchDirectoryGet(i);
            return std::string(directory ? directory : "");
        });
        break;
    case SettingKind::RecentList:
        enterList(dict, field, recentlyQuantity(), [](int i) {
            const char* path = recentlyGet(i);
            return std::string(path ? path : "");
        });
        break;
    }
}

}  // namespace

int settingsWriteError;

bool settingsCanHold(const char* value) {
    std::string written;
    return iniEncodeValue(value, &written);
}

int settingsRead(Settings* s) {
    settingsLoadDefault(s);
    dictionary* dict = iniLoad(SETTINGS_FILE_NAME);
    if (!dict) return -1;
    cdsearchClear();
    recentlyClear();
    for (int i = 0; i < settingsFieldCount; i++) readField(dict, settingsFields[i], s);
    iniparser_freedict(dict);
    settingsCheck(s);
    return 0;
}

int settingsWrite(Settings* s) {
    dictionary* dict = dictionary_new(0);
    if (!dict) return -1;
    const char* section = nullptr;
    for (int i = 0; i < settingsFieldCount; i++) {
        const SettingField& field = settingsFields[i];
        if (!section || strcmp(section, field.section) != 0) {
            section = field.section;
            dictionary_set(dict, section, nullptr);
        }
        writeField(dict, field, s);
    }
    settingsWriteError = iniReplaceFile(SETTINGS_FILE_NAME, iniFormat(dict)) == 0 ? 0 : errno;
    iniparser_freedict(dict);
    return 0;
}
