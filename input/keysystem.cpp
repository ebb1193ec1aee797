#include "input/keysystem.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "containers/linkedlist.h"
#include "input/inputdriver.h"

namespace {

int pressedList = -1;
int pressedPending = -1;
int heldList = -1;
int heldPending = -1;

constexpr int DEVICE_SLOTS = 16;
constexpr int MOUSE_KEYS = 64;
constexpr int GAMEPAD_KEYS = 96;
constexpr int KEYBOARD_ESCAPE = 9;
constexpr useconds_t CAPTURE_INTERVAL_US = 50000;

// One key of a combination as it reads now. Indices beyond a mouse's or a
// gamepad's keys (only a hand-edited file holds them) never read as held.
int keyHeld(const KeyEntry& key) {
    int slot = keySlot(key);
    switch (keyKind(key)) {
    case KEY_KIND_KEYBOARD:
        return key.keyIndex <= 0xFFFF &&
               InputDriver::keyboardGetKey(slot, static_cast<int>(key.keyIndex));
    case KEY_KIND_MOUSE:
        return key.keyIndex < MOUSE_KEYS &&
               InputDriver::mouseGetKey(slot, static_cast<int>(key.keyIndex));
    case KEY_KIND_GAMEPAD:
        return key.keyIndex < GAMEPAD_KEYS &&
               InputDriver::gamepadGetKey(slot, static_cast<int>(key.keyIndex));
    default:
        return 0;
    }
}

void appendCopy(int list, const KeyCombo* combo) {
    KeyCombo* copy = static_cast<KeyCombo*>(malloc(sizeof *copy));
    if (!copy) return;
    *copy = *combo;
    if (linkedListAppend(list, copy) != 0) free(copy);
}

// Leaves the list's cursor on the first equal combination; false when none.
bool findEqual(int list, const KeyCombo* combo) {
    linkedListToStart(list);
    for (int i = linkedListSize(list); i > 0; i--) {
        const KeyCombo* item = static_cast<const KeyCombo*>(linkedListGet(list));
        if (item && keyComboEqual(item, combo)) return true;
        linkedListToNext(list);
    }
    return false;
}

void promote(int from, int to) {
    linkedListToStart(from);
    for (int i = linkedListSize(from); i > 0; i--) {
        const KeyCombo* item = static_cast<const KeyCombo*>(linkedListGet(from));
        if (item) appendCopy(to, item);
        linkedListToNext(from);
    }
    linkedListClear(from);
}

void enableMasking() {
    InputDriver::keyboardsEnableMasking();
    InputDriver::miceEnableMasking();
    InputDriver::gamepadsEnableMasking();
}

void disableMasking() {
    InputDriver::keyboardsDisableMasking();
    InputDriver::miceDisableMasking();
    InputDriver::gamepadsDisableMasking();
}

// Parses a stored text into a record that starts cleared.
KeyCombo parse(const char* text) {
    KeyCombo combo;
    clearKey(&combo);
    str2key(text, &combo);
    return combo;
}

}  // namespace

int keySystemInit() {
    InputDriver::keyboardsInit();
    InputDriver::miceInit();
    InputDriver::gamepadsInit();
    pressedList = linkedListRegister(nullptr);
    pressedPending = linkedListRegister(nullptr);
    heldList = linkedListRegister(nullptr);
    heldPending = linkedListRegister(nullptr);
    keySystemClear();
    return 0;
}

int keySystemOpen() {
    InputDriver::keyboardsOpen();
    InputDriver::miceOpen();
    InputDriver::gamepadsOpen();
    return 0;
}

int keySystemClose() {
    InputDriver::keyboardsClose();
    InputDriver::miceClose();
    InputDriver::gamepadsClose();
    return 0;
}

int keySystemShutdown() {
    InputDriver::keyboardsShutdown();
    InputDriver::miceShutdown();
    InputDriver::gamepadsShutdown();
    return 0;
}

int keySystemUpdate() {
    InputDriver::keyboardsUpdate();
    InputDriver::miceUpdate();
    InputDriver::gamepadsUpdate();
    promote(pressedPending, pressedList);
    promote(heldPending, heldList);
    return 0;
}

void keySystemClear() {
    InputDriver::keyboardsClear();
    InputDriver::keyboardsClearDevice();
    InputDriver::miceClear();
    InputDriver::miceClearDevice();
    InputDriver::gamepadsClear();
    InputDriver::gamepadsClearDevice();
    linkedListClear(pressedList);
    linkedListClear(pressedPending);
    linkedListClear(heldList);
    linkedListClear(heldPending);
}

int getKey(const KeyCombo* combo) {
    if (combo->count == 0) return 0;
    unsigned count = keyComboCount(combo);
    unsigned held = 0;
    for (unsigned i = 0; i < count; i++) held += keyHeld(combo->keys[i]);
    // A record that claims more keys than it holds is never held.
    return held == combo->count ? 1 : 0;
}

int getKey(const char* text) {
    KeyCombo combo = parse(text);
    return getKey(&combo);
}

int getKeyPress(const KeyCombo* combo) {
    if (getKey(combo)) {
        if (findEqual(pressedList, combo)) return 0;
        // One pending copy per combination: a second copy would outlive the
        // release and swallow the next press.
        if (!findEqual(pressedPending, combo)) appendCopy(pressedPending, combo);
        return 1;
    }
    if (findEqual(pressedList, combo)) linkedListDelete(pressedList);
    return 0;
}

int getKeyPress(const char* text) {
    KeyCombo combo = parse(text);
    return getKeyPress(&combo);
}

int getKeyRelease(const KeyCombo* combo) {
    if (getKey(combo)) {
        // One copy per combination, so that its release is reported once.
        if (!findEqual(heldList, combo) && !findEqual(heldPending, combo))
            appendCopy(heldPending, combo);
        return 0;
    }
    if (!findEqual(heldList, combo)) return 0;
    linkedListDelete(heldList);
    return 1;
}

int getKeyRelease(const char* text) {
    KeyCombo combo = parse(text);
    return getKeyRelease(&combo);
}

void keyCaptureBegin(KeyCombo* combo) {
    keySystemClear();
    InputDriver::keyboardsEnableMasking();
    InputDriver::keyboardsClearMask();
    InputDriver::miceEnableMasking();
    InputDriver::miceClearMask();
    InputDriver::gamepadsEnableMasking();
    InputDriver::gamepadsClearMask();
    // An analogue trigger rests at one end of its travel, so its resting half
    // reads pressed: masked, it is neither captured nor keeps the capture open.
    InputDriver::gamepadsMaskResting();
    clearKey(combo);
}

int keyCapturePass(KeyCombo* combo) {
    keySystemUpdate();

    // Captured keys are masked: read their real state to see whether all are let go.
    disableMasking();
    unsigned held = combo->count;
    for (unsigned i = 0; i < combo->count; i++)
        if (!keyHeld(combo->keys[i])) held--;
    enableMasking();
    if (combo->count > 0 && held == 0) return 1;

    // At most one new key per slot and pass: the lowest pressed one not yet taken.
    for (unsigned kind = KEY_KIND_KEYBOARD; kind <= KEY_KIND_GAMEPAD; kind++) {
        for (int slot = 0; slot < DEVICE_SLOTS; slot++) {
            int key;
            if (kind == KEY_KIND_KEYBOARD) {
                key = InputDriver::keyboardFindKey(slot);
                // Escape cancels even with three keys taken.
                if (key == KEYBOARD_ESCAPE) {
                    clearKey(combo);
                    return 0;
                }
            } else if (kind == KEY_KIND_MOUSE) {
                key = InputDriver::mouseFindKey(slot);
            } else {
                key = InputDriver::gamepadFindKey(slot);
            }
            if (key < 0 || combo->count >= KEY_COMBO_KEYS) continue;

            int type;
            if (kind == KEY_KIND_KEYBOARD) {
                InputDriver::keyboardMaskKey(slot, key);
                type = InputDriver::keyboardGetKeyType(slot, key);
            } else if (kind == KEY_KIND_MOUSE) {
                InputDriver::mouseMaskKey(slot, key);
                type = InputDriver::mouseGetKeyType(slot, key);
            } else {
                InputDriver::gamepadMaskKey(slot, key);
                type = InputDriver::gamepadGetKeyType(slot, key);
            }
            combo->keys[combo->count] = {static_cast<uint32_t>(key), static_cast<uint32_t>(type),
                                         (kind << 4) | static_cast<uint32_t>(slot)};
            combo->count++;
        }
    }
    return -1;
}

void keyCaptureEnd() { disableMasking(); }

int findKey(KeyCombo* combo) {
    keyCaptureBegin(combo);
    int result;
    while ((result = keyCapturePass(combo)) < 0) usleep(CAPTURE_INTERVAL_US);
    keyCaptureEnd();
    return result;
}

int findKey(char* text) {
    KeyCombo combo = parse(text);
    int result = findKey(&combo);
    key2str(&combo, text);
    return result;
}
