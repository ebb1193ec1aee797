#include "input/keysystem.h"

#include <unistd.h>

#include <cstdlib>

#include "containers/linkedlist.h"
#include "input/inputdriver.h"

namespace {

int pressedList = -1;
int pressedPending = -1;
int heldList = -1;
int heldPending = -1;

constexpr int KEYBOARD_ESCAPE = 9;
constexpr useconds_t CAPTURE_INTERVAL_US = 50000;

// The per-slot operations of one device kind, indexed by kind.
struct DeviceOps {
    int (*getKey)(int, int);
    int (*findKey)(int);
    void (*maskKey)(int, int);
    int (*getKeyType)(int, int);
    uint32_t keyLimit;  // key indices from here on (only a hand-edited file holds them) never read
};
const DeviceOps DEVICE_OPS[] = {
    {},
    {InputDriver::keyboardGetKey, InputDriver::keyboardFindKey, InputDriver::keyboardMaskKey,
     InputDriver::keyboardGetKeyType, 0x10000},
    {InputDriver::mouseGetKey, InputDriver::mouseFindKey, InputDriver::mouseMaskKey,
     InputDriver::mouseGetKeyType, INPUT_MOUSE_KEYS},
    {InputDriver::gamepadGetKey, InputDriver::gamepadFindKey, InputDriver::gamepadMaskKey,
     InputDriver::gamepadGetKeyType, INPUT_GAMEPAD_KEYS},
};

// One key of a combination as it reads now; a key of no kind never reads held.
int keyHeld(const KeyEntry& key) {
    unsigned kind = keyKind(key);
    if (kind < KEY_KIND_KEYBOARD || kind > KEY_KIND_GAMEPAD) return 0;
    const DeviceOps& ops = DEVICE_OPS[kind];
    return key.keyIndex < ops.keyLimit && ops.getKey(keySlot(key), static_cast<int>(key.keyIndex));
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
        const DeviceOps& ops = DEVICE_OPS[kind];
        for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
            int key = ops.findKey(slot);
            // Escape cancels even with three keys taken.
            if (kind == KEY_KIND_KEYBOARD && key == KEYBOARD_ESCAPE) {
                clearKey(combo);
                return 0;
            }
            if (key < 0 || combo->count >= KEY_COMBO_KEYS) continue;

            ops.maskKey(slot, key);
            int type = ops.getKeyType(slot, key);
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

int keySystemCaptureHotKey(char* first, char* second, int (*capture)(char* text)) {
    if (keyTextEmpty(first)) return capture(first);
    bool secondWasEmpty = keyTextEmpty(second);
    int result = capture(second);
    if (secondWasEmpty && keyTextEmpty(second)) clearKey(first);
    return result;
}
