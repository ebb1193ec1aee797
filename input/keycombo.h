// Key combinations of up to three keys, their text form (as the settings file
// holds it) and their display names.
//
// Text form: "" when empty, otherwise two hex digits of count, then per key
// eight hex digits: device code (2), key type (2), key index (4).
#pragma once

#include <cstdint>

constexpr int KEY_COMBO_KEYS = 3;
constexpr int KEY_COMBO_TEXT_SIZE = 27;  // longest text form with its NUL

// Device kinds in bits 4-7 of a device code; bits 0-3 are the slot.
constexpr unsigned KEY_KIND_KEYBOARD = 1;
constexpr unsigned KEY_KIND_MOUSE = 2;
constexpr unsigned KEY_KIND_GAMEPAD = 3;

struct KeyEntry {
    uint32_t keyIndex;
    uint32_t keyType;     // 0 button or key, 1 axis half
    uint32_t deviceCode;  // (kind << 4) | slot
};

// A plain value. Entries at and above count carry no meaning.
struct KeyCombo {
    KeyEntry keys[KEY_COMBO_KEYS];
    uint32_t count;
};

inline unsigned keyKind(const KeyEntry& key) { return (key.deviceCode >> 4) & 0xF; }
inline int keySlot(const KeyEntry& key) { return static_cast<int>(key.deviceCode & 0xF); }
// Entries in use: count, never more than the record holds (setKey stores any count).
inline unsigned keyComboCount(const KeyCombo* combo) {
    return combo->count > KEY_COMBO_KEYS ? KEY_COMBO_KEYS : combo->count;
}

// Same count and the same three fields for every entry in use.
bool keyComboEqual(const KeyCombo* a, const KeyCombo* b);

// Parses text into combo: 0 when it yields no keys, else the field count of the
// last key's read (3 when well formed; fewer, or -1, when the text ends early).
// A declared count above 3 reads as 3; missing fields keep their values.
int str2key(const char* text, KeyCombo* combo);
// Writes the text form into text (at least KEY_COMBO_TEXT_SIZE bytes): 0 for an
// empty combination, else 8. Fields wider than their digits are cut to them.
int key2str(const KeyCombo* combo, char* text);

// Stores the values unchecked.
void setKey(KeyCombo* combo, unsigned count, unsigned keyIndex0, unsigned keyType0,
            unsigned deviceCode0, unsigned keyIndex1, unsigned keyType1, unsigned deviceCode1,
            unsigned keyIndex2, unsigned keyType2, unsigned deviceCode2);
int clearKey(KeyCombo* combo);  // all fields to 0; returns 0
int clearKey(char* text);       // text becomes ""; returns 0

// True when text holds no key, however it is spelt ("", "00", garbage): the
// slot it stands for is unassigned.
bool keyTextEmpty(const char* text);

// Display name such as "Kb0_Control_Left + Alt_Left + 'C'", or "Unassigned".
// Lies in a static buffer that the next call overwrites.
const char* getKeyNameString(const KeyCombo* combo);
const char* getKeyNameString(const char* text);
