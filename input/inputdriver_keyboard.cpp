// Input driver: keyboards, read as the X server's keymap through a display
// connection of the driver's own.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "input/inputcommon.h"
#include "input/inputdriver.h"

namespace {

// Modifier keys by their fixed evdev keycodes, in the order they are tested and named.
struct Modifier {
    int bit;
    int keycode;
    const char* name;
};
constexpr Modifier MODIFIERS[] = {
    {INPUT_SHIFT_LEFT, 50, "Shift_Left"},     {INPUT_SHIFT_RIGHT, 62, "Shift_Right"},
    {INPUT_CONTROL_LEFT, 37, "Control_Left"}, {INPUT_CONTROL_RIGHT, 105, "Control_Right"},
    {INPUT_SUPER_LEFT, 133, "Super_Left"},    {INPUT_SUPER_RIGHT, 134, "Super_Right"},
    {INPUT_ALT_LEFT, 64, "Alt_Left"},         {INPUT_ALT_RIGHT, 108, "Alt_Right"},
};

// Names of the X keycodes; keycodes without a name of their own read as hex.
// clang-format off
const char* const KEYCODE_NAMES[INPUT_KEYBOARD_KEYCODES] = {
    /*   0 */ "0x00", "0x01", "0x02", "0x03", "0x04", "0x05", "0x06", "0x07", "0x08", "Escape",
    /*  10 */ "'1'", "'2'", "'3'", "'4'", "'5'", "'6'", "'7'", "'8'", "'9'", "'0'", "Minus",
    /*  21 */ "Equal", "Backspace", "Tab", "'Q'", "'W'", "'E'", "'R'", "'T'", "'Y'", "'U'", "'I'",
    /*  32 */ "'O'", "'P'", "Bracket_Left", "Bracket_Right", "Return", "Control_Left", "'A'", "'S'",
    /*  40 */ "'D'", "'F'", "'G'", "'H'", "'J'", "'K'", "'L'", "Semicolon", "Apostrophe", "Grave",
    /*  50 */ "Shift_Left", "Backslash", "'Z'", "'X'", "'C'", "'V'", "'B'", "'N'", "'M'", "Comma",
    /*  60 */ "Period", "Slash", "Shift_Right", "Kp_Multiply", "Alt_Left", "Space", "Caps_Lock",
    /*  67 */ "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "Num_Lock",
    /*  78 */ "Scroll_Lock", "Kp_7", "Kp_8", "Kp_9", "Kp_Subtract", "Kp_4", "Kp_5", "Kp_6",
    /*  86 */ "Kp_Add", "Kp_1", "Kp_2", "Kp_3", "Kp_0", "Kp_Period", "0x5C", "0x5D", "0x5E", "F11",
    /*  96 */ "F12", "0x61", "0x62", "0x63", "0x64", "0x65", "0x66", "0x67", "Kp_Enter",
    /* 105 */ "Control_Right", "Kp_Divide", "Print", "Alt_Right", "Linefeed", "Home", "Up", "Prior",
    /* 113 */ "Left", "Right", "End", "Down", "Next", "Insert", "Delete", "0x78", "XF86AudioMute",
    /* 122 */ "XF86AudioLowerVolume", "XF86AudioRaiseVolume", "XF86PowerOff", "Kp_Equal",
    /* 126 */ "PlusMinus", "Pause", "0x80", "Kp_Decimal", "Hangul", "Hangul_Hanja", "0x84",
    /* 133 */ "Super_Left", "Super_Right", "Menu", "Cancel", "Redo", "SunProps", "Undo", "SunFront",
    /* 141 */ "XF86Copy", "SunOpen", "XF86Paste", "Find", "XF86Cut", "Help", "XF86MenuKB",
    /* 148 */ "XF86Calculator", "0x95", "XF86Sleep", "XF86WakeUp", "XF86Explorer", "XF86Send",
    /* 154 */ "0x9A", "XF86Xfer", "XF86Launch1", "XF86Launch2", "XF86WWW", "XF86DOS",
    /* 160 */ "XF86ScreenSaver", "0xA1", "XF86RotateWindows", "XF86Mail", "XF86Favorites",
    /* 165 */ "XF86MyComputer", "XF86Back", "XF86Forward", "0xA8", "XF86Eject", "XF86Eject",
    /* 171 */ "XF86AudioNext", "XF86AudioPlay", "XF86AudioPrev", "XF86AudioStop", "XF86AudioRecord",
    /* 176 */ "XF86AudioRewind", "XF86Phone", "0xB2", "XF86Tools", "XF86HomePage", "XF86Reload",
    /* 182 */ "XF86Close", "0xB7", "0xB8", "XF86ScrollUp", "XF86ScrollDown", "Parenleft",
    /* 188 */ "Parenright", "XF86New", "Redo", "0xBF", "0xC0", "0xC1", "0xC2", "0xC3", "0xC4",
    /* 197 */ "0xC5", "0xC6", "0xC7", "XF86TouchpadToggle", "0xC9", "0xCA", "Mode_switch", "0xCC",
    /* 205 */ "0xCD", "0xCE", "0xCF", "XF86AudioPlay", "XF86AudioPause", "XF86Launch3",
    /* 211 */ "XF86Launch4", "0xD4", "XF86Suspend", "XF86Close", "XF86AudioPlay",
    /* 216 */ "XF86AudioForward", "0xD9", "Print", "0xDB", "XF86WebCam", "0xDD", "0xDE", "XF86Mail",
    /* 224 */ "0xE0", "XF86Search", "0xE2", "XF86Finance", "0xE4", "XF86Shop", "0xE6", "Cancel",
    /* 232 */ "XF86MonBrightnessDown", "XF86MonBrightnessUp", "XF86AudioMedia", "XF86Display",
    /* 236 */ "XF86KbdLightOnOff", "XF86KbdBrightnessDown", "XF86KbdBrightnessUp", "XF86Send",
    /* 240 */ "XF86Reply", "XF86MailForward", "XF86Save", "XF86Documents", "XF86Battery",
    /* 245 */ "XF86Bluetooth", "XF86WLAN", "0xF7", "0xF8", "0xF9", "0xFA", "0xFB", "0xFC", "0xFD",
    /* 254 */ "0xFE", "0xFF",
};
// clang-format on

Display* display;
uint8_t keyVector[32];
KeyboardState keyboards[INPUT_DEVICE_COUNT];
char keyboardName[INPUT_NAME_SIZE];

KeyboardState* keyboard(int device) { return inputSlot(keyboards, device); }

}  // namespace

int inputDecodeKeymap(const uint8_t vector[32], uint8_t keymap[INPUT_KEYBOARD_KEYCODES],
                      int pressed[INPUT_KEYBOARD_PRESSED]) {
    for (int k = 0; k < INPUT_KEYBOARD_KEYCODES; k++) keymap[k] = (vector[k / 8] >> (k % 8)) & 1;
    // A held modifier is no key of its own: it adds its bit to every other key.
    int modifiers = 0;
    for (const Modifier& m : MODIFIERS) {
        if (!keymap[m.keycode]) continue;
        keymap[m.keycode] = 0;
        modifiers |= m.bit;
    }
    int count = 0;
    for (int k = 0; k < INPUT_KEYBOARD_KEYCODES && count < INPUT_KEYBOARD_PRESSED; k++)
        if (keymap[k]) pressed[count++] = modifiers + k;
    return count;
}

const KeyboardState* InputDriver::keyboardState(int device) { return keyboard(device); }

void InputDriver::keyboardInit(int device) {
    KeyboardState* k = keyboard(device);
    if (k == nullptr) return;
    k->opened = false;
    k->pressedCount = 0;
}

void InputDriver::keyboardOpen(int device) {
    KeyboardState* k = keyboard(device);
    if (k == nullptr) return;
    // Every keyboard of the display shows up in slot 0.
    if (device == 0) k->opened = true;
    keyboardClear(device);
    keyboardClearDevice(device);
    keyboardDisableMasking(device);
    keyboardClearMask(device);
}

void InputDriver::keyboardUpdate(int device) {
    KeyboardState* k = keyboard(device);
    if (k == nullptr || !k->opened || display == nullptr) return;
    XQueryKeymap(display, reinterpret_cast<char*>(keyVector));
    k->pressedCount = inputDecodeKeymap(keyVector, k->keymap, k->pressed);
}

void InputDriver::keyboardClear(int device) {
    if (KeyboardState* k = keyboard(device)) k->pressedCount = 0;
}

void InputDriver::keyboardClearDevice(int) {}

void InputDriver::keyboardEnableMasking(int device) {
    if (KeyboardState* k = keyboard(device)) k->masking = 1;
}

void InputDriver::keyboardDisableMasking(int device) {
    if (KeyboardState* k = keyboard(device)) k->masking = 0;
}

void InputDriver::keyboardClearMask(int device) {
    if (KeyboardState* k = keyboard(device)) memset(k->mask, 0, sizeof k->mask);
}

void InputDriver::keyboardClose(int device) {
    if (KeyboardState* k = keyboard(device)) k->opened = false;
}

void InputDriver::keyboardShutdown(int) {}

int InputDriver::keyboardGetKey(int device, int key) {
    const KeyboardState* k = keyboard(device);
    if (k == nullptr || !k->opened) return 0;
    for (int i = 0; i < k->pressedCount && i < INPUT_KEYBOARD_PRESSED; i++) {
        if (k->pressed[i] != key) continue;
        // Indices from 0x8100 on have no mask byte and are never masked.
        bool masked = k->masking && key >= 0 && key < INPUT_KEYBOARD_MASKED && k->mask[key];
        return masked ? 0 : 1;
    }
    return 0;
}

int InputDriver::keyboardFindKey(int device) {
    // The lowest qualifying index is among the listed keys; no need to try all 0x8100.
    const KeyboardState* k = keyboard(device);
    if (k == nullptr) return -1;
    int found = -1;
    for (int i = 0; i < k->pressedCount && i < INPUT_KEYBOARD_PRESSED; i++) {
        int key = k->pressed[i];
        if (key < 0 || key >= INPUT_KEYBOARD_MASKED || (found >= 0 && key >= found)) continue;
        if (keyboardGetKey(device, key)) found = key;
    }
    return found;
}

int InputDriver::keyboardGetKeyType(int, int) { return 0; }

void InputDriver::keyboardMaskKey(int device, int key) {
    if (KeyboardState* k = keyboard(device)) inputSetMask(k->mask, INPUT_KEYBOARD_MASKED, key, 1);
}

void InputDriver::keyboardUnMaskKey(int device, int key) {
    if (KeyboardState* k = keyboard(device)) inputSetMask(k->mask, INPUT_KEYBOARD_MASKED, key, 0);
}

void InputDriver::keyboardsInit() {
    if (display == nullptr) display = XOpenDisplay(nullptr);
    inputForEachDevice(keyboardInit);
}
void InputDriver::keyboardsOpen() { inputForEachDevice(keyboardOpen); }
void InputDriver::keyboardsUpdate() { inputForEachDevice(keyboardUpdate); }
void InputDriver::keyboardsClear() { inputForEachDevice(keyboardClear); }
void InputDriver::keyboardsClearDevice() { inputForEachDevice(keyboardClearDevice); }
void InputDriver::keyboardsEnableMasking() { inputForEachDevice(keyboardEnableMasking); }
void InputDriver::keyboardsDisableMasking() { inputForEachDevice(keyboardDisableMasking); }
void InputDriver::keyboardsClearMask() { inputForEachDevice(keyboardClearMask); }
void InputDriver::keyboardsClose() { inputForEachDevice(keyboardClose); }
void InputDriver::keyboardsShutdown() {
    inputForEachDevice(keyboardShutdown);
    if (display != nullptr) XCloseDisplay(display);
    display = nullptr;
}

const char* InputDriver::keyboardsGetKeyName(int key) {
    keyboardName[0] = '\0';
    for (const Modifier& m : MODIFIERS) {
        if (!(key & m.bit)) continue;
        inputAppendName(keyboardName, sizeof keyboardName, m.name);
        inputAppendName(keyboardName, sizeof keyboardName, " + ");
    }
    inputAppendName(keyboardName, sizeof keyboardName, KEYCODE_NAMES[key & 0xff]);
    return keyboardName;
}
