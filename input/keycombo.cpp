#include "input/keycombo.h"

#include <cstdio>
#include <cstring>

#include "input/inputcommon.h"
#include "input/inputdriver.h"

namespace {

char keyName[512];

// Display prefix and key names of each device kind, indexed by kind.
struct KindName {
    const char* prefix;
    const char* (*keyName)(int);
};
const KindName KIND_NAMES[] = {
    {},
    {"Kb", InputDriver::keyboardsGetKeyName},
    {"Ms", InputDriver::miceGetKeyName},
    {"Js", InputDriver::gamepadsGetKeyName},
};

}  // namespace

bool keyComboEqual(const KeyCombo* a, const KeyCombo* b) {
    if (a->count != b->count) return false;
    unsigned count = keyComboCount(a);
    for (unsigned i = 0; i < count; i++) {
        const KeyEntry& x = a->keys[i];
        const KeyEntry& y = b->keys[i];
        if (x.keyIndex != y.keyIndex || x.keyType != y.keyType || x.deviceCode != y.deviceCode)
            return false;
    }
    return true;
}

int str2key(const char* text, KeyCombo* combo) {
    combo->count = 0;
    unsigned count = 0;
    if (sscanf(text, "%02x", &count) != 1 || count == 0) return 0;
    // A count such as "-1" reads as a huge number: it is cut like any count above 3.
    combo->count = count > KEY_COMBO_KEYS ? KEY_COMBO_KEYS : count;

    size_t length = strlen(text);
    int result = -1;
    for (unsigned i = 0; i < combo->count; i++) {
        size_t offset = 2 + 8 * i;
        // Past the end of the text there is nothing to read (and nothing may be read).
        if (offset > length) {
            result = -1;
            continue;
        }
        KeyEntry& key = combo->keys[i];
        unsigned deviceCode = key.deviceCode, keyType = key.keyType, keyIndex = key.keyIndex;
        result = sscanf(text + offset, "%02x%02x%04x", &deviceCode, &keyType, &keyIndex);
        // A sign in the text ("-f") reads as a huge value: keep each field within its digits.
        key.deviceCode = deviceCode & 0xFF;
        key.keyType = keyType & 0xFF;
        key.keyIndex = keyIndex & 0xFFFF;
    }
    return result;
}

int key2str(const KeyCombo* combo, char* text) {
    text[0] = '\0';
    if (combo->count == 0) return 0;
    unsigned count = keyComboCount(combo);
    snprintf(text, 3, "%.2x", count);
    int written = 0;
    for (unsigned i = 0; i < count; i++) {
        const KeyEntry& key = combo->keys[i];
        written = snprintf(text + 2 + 8 * i, 9, "%.2x%.2x%.4x", key.deviceCode & 0xFF,
                           key.keyType & 0xFF, key.keyIndex & 0xFFFF);
    }
    return written;
}

void setKey(KeyCombo* combo, unsigned count, unsigned keyIndex0, unsigned keyType0,
            unsigned deviceCode0, unsigned keyIndex1, unsigned keyType1, unsigned deviceCode1,
            unsigned keyIndex2, unsigned keyType2, unsigned deviceCode2) {
    combo->count = count;
    combo->keys[0] = {keyIndex0, keyType0, deviceCode0};
    combo->keys[1] = {keyIndex1, keyType1, deviceCode1};
    combo->keys[2] = {keyIndex2, keyType2, deviceCode2};
}

int clearKey(KeyCombo* combo) {
    memset(combo, 0, sizeof *combo);
    return 0;
}

int clearKey(char* text) {
    KeyCombo combo;
    clearKey(&combo);
    str2key(text, &combo);
    clearKey(&combo);
    return key2str(&combo, text);
}

bool keyTextEmpty(const char* text) {
    KeyCombo combo;
    clearKey(&combo);
    str2key(text, &combo);
    return combo.count == 0;
}

const char* getKeyNameString(const KeyCombo* combo) {
    keyName[0] = '\0';
    if (combo->count == 0) {
        inputAppendName(keyName, sizeof keyName, "Unassigned");
        return keyName;
    }
    unsigned count = keyComboCount(combo);
    for (unsigned i = 0; i < count; i++) {
        const KeyEntry& key = combo->keys[i];
        if (i > 0) inputAppendName(keyName, sizeof keyName, " + ");
        // The name functions take an int; any index of the text form is positive.
        int index = static_cast<int>(key.keyIndex & 0xFFFF);
        unsigned kind = keyKind(key);
        // No kind: no name, but the separator before it stays.
        if (kind < KEY_KIND_KEYBOARD || kind > KEY_KIND_GAMEPAD) continue;
        const KindName& k = KIND_NAMES[kind];
        char prefix[16];
        snprintf(prefix, sizeof prefix, "%s%i_", k.prefix, keySlot(key));
        inputAppendName(keyName, sizeof keyName, prefix);
        inputAppendName(keyName, sizeof keyName, k.keyName(index));
    }
    return keyName;
}

const char* getKeyNameString(const char* text) {
    KeyCombo combo;
    clearKey(&combo);
    str2key(text, &combo);
    return getKeyNameString(&combo);
}
