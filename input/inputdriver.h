// The polled input driver: mice (PS/2 packets from /dev/input/mouse%i),
// gamepads (js_event records from /dev/input/js%i) and keyboards (the X
// server's keymap through a display connection of the driver's own).
//
// Each kind has 16 device slots. A slot exposes numbered keys that read as
// pressed or not, can be searched for the first pressed one, masked and named.
// Nothing is event-driven: Update a device, then ask about its keys.
//
// Every operation accepts any int as slot and key: a slot outside 0..15 does
// nothing (queries give 0, FindKey -1), a key that the kind has no state for
// reads as not pressed and masks nothing. Nothing outside the slot's record
// is read or written. Name functions accept any key and return a static buffer
// that the next call for the same kind overwrites.
#pragma once

#include <cstdint>

constexpr int INPUT_DEVICE_COUNT = 16;         // slots per kind
constexpr int INPUT_MOUSE_KEYS = 64;           // 0..31 buttons, 32..63 axis halves
constexpr int INPUT_GAMEPAD_KEYS = 96;         // 0..31 buttons, 32..95 axis halves
constexpr int INPUT_GAMEPAD_AXES = 32;         // axis n owns keys 32 + 2n (-) and 33 + 2n (+)
constexpr int INPUT_KEYBOARD_KEYCODES = 256;   // X keycodes
constexpr int INPUT_KEYBOARD_MASKED = 0x8100;  // keyboard indices that can be masked and found
constexpr int INPUT_KEYBOARD_PRESSED = 16;     // keys listed per keyboard update
constexpr int INPUT_NAME_SIZE = 512;           // name buffer of each kind
constexpr int INPUT_AXIS_PRESSED = 64;         // an axis half is pressed above this magnitude

// Keyboard modifier bits of a keyboard key index (keycode in bits 0..7).
constexpr int INPUT_SHIFT_LEFT = 0x100;
constexpr int INPUT_SHIFT_RIGHT = 0x200;
constexpr int INPUT_CONTROL_LEFT = 0x400;
constexpr int INPUT_CONTROL_RIGHT = 0x800;
constexpr int INPUT_SUPER_LEFT = 0x1000;
constexpr int INPUT_SUPER_RIGHT = 0x2000;
constexpr int INPUT_ALT_LEFT = 0x4000;
constexpr int INPUT_ALT_RIGHT = 0x8000;

struct MouseState {
    uint8_t key[INPUT_MOUSE_KEYS];   // buttons 0/1, axis halves as magnitude
    uint8_t mask[INPUT_MOUSE_KEYS];  // 1 = masked
    int masking;                     // 1 = masks apply
    int fd = -1;                     // open device node, -1 = closed
};

struct GamepadState {
    uint8_t key[INPUT_GAMEPAD_KEYS];   // buttons 0/1, axis halves as magnitude 0..128
    uint8_t mask[INPUT_GAMEPAD_KEYS];  // 1 = masked
    int masking;                       // 1 = masks apply
    int fd = -1;                       // open device node, -1 = closed
    // Resting value of each axis, from the initial-state events of the node;
    // bit n of restKnown tells whether axis n reported one.
    int16_t rest[INPUT_GAMEPAD_AXES];
    uint32_t restKnown;
};

struct KeyboardState {
    uint8_t keymap[INPUT_KEYBOARD_KEYCODES];  // 1 = down at the last update, modifiers cleared
    uint8_t mask[INPUT_KEYBOARD_MASKED];      // 1 = masked
    int pressed[INPUT_KEYBOARD_PRESSED];      // key indices down at the last update
    int pressedCount;                         // valid entries of pressed
    int masking;                              // 1 = masks apply
    bool opened = false;                      // reads the display's keymap when updated
};

// Pure decoders, kept apart from the device I/O so that tests and fuzzers can
// feed them bytes directly.

// Decodes one PS/2 packet of count bytes (only the first 4 are used) into the
// 64 mouse keys, which the caller has cleared: byte 0 bits 0..2 are buttons
// 0..2, bytes 1..3 (signed) move axes 0..2 (keys 32..37, magnitude <= 127).
void inputDecodeMousePacket(const uint8_t* bytes, int count, uint8_t key[INPUT_MOUSE_KEYS]);

// Applies one 8-byte js_event record (native layout: time, value, type,
// number) to a gamepad record: buttons and axes 0..31 set their keys, an
// initial-state axis event (type 0x82) only records the axis's resting value,
// everything else is skipped.
void inputApplyGamepadEvent(const uint8_t event[8], GamepadState* state);

// Masks, in mask, every axis half that reads pressed while its axis rests.
// Axes without a known resting value are left alone.
void inputMaskRestingAxes(GamepadState* state);

// Turns the 32-byte XQueryKeymap vector into keymap (modifier keycodes
// cleared) and the list of pressed key indices (modifier bits plus keycode,
// lowest keycodes first, at most 16). Returns the number listed.
int inputDecodeKeymap(const uint8_t vector[32], uint8_t keymap[INPUT_KEYBOARD_KEYCODES],
                      int pressed[INPUT_KEYBOARD_PRESSED]);

// All operations are static; the device records are private to the driver.
class InputDriver {
public:
    InputDriver() = delete;

    // Folder in which mouseOpen and gamepadOpen look for "mouse%i" and
    // "js%i", with its trailing '/'; nullptr restores "/dev/input/".
    static void setDeviceFolder(const char* folder);

    // Read-only view of a record, nullptr for a slot outside 0..15.
    static const MouseState* mouseState(int device);
    static const GamepadState* gamepadState(int device);
    static const KeyboardState* keyboardState(int device);

    // Mice. Init marks the slot closed. Open binds slot n to the (n+1)-th
    // node of mouse0..mouse15 that opens, then runs Clear, ClearDevice,
    // DisableMasking and ClearMask. Update clears the keys and decodes at
    // most one read; Clear releases every key; ClearDevice drains the node.
    static void mouseInit(int device);
    static void mouseOpen(int device);
    static void mouseUpdate(int device);
    static void mouseClear(int device);
    static void mouseClearDevice(int device);
    static void mouseEnableMasking(int device);
    static void mouseDisableMasking(int device);
    static void mouseClearMask(int device);
    static void mouseClose(int device);
    static void mouseShutdown(int device);
    static int mouseGetKey(int device, int key);      // 1 pressed (and not masked), else 0
    static int mouseFindKey(int device);              // lowest key that GetKey gives 1 for, or -1
    static int mouseGetKeyType(int device, int key);  // 1 for key > 31 (axis half), else 0
    static void mouseMaskKey(int device, int key);    // keys 0..63 only
    static void mouseUnMaskKey(int device, int key);  // keys 0..63 only
    static void miceInit();
    static void miceOpen();
    static void miceUpdate();
    static void miceClear();
    static void miceClearDevice();
    static void miceEnableMasking();
    static void miceDisableMasking();
    static void miceClearMask();
    static void miceClose();
    static void miceShutdown();
    static const char* miceGetKeyName(int key);  // "B0".."B31", "A0-", "A0+" .. "A15+"

    // Gamepads: as mice over js0..js15. Update zeroes the buttons, keeps the
    // axis halves and applies every js_event waiting. ClearDevice drains the
    // node, learning resting values from the initial-state events.
    static void gamepadInit(int device);
    static void gamepadOpen(int device);
    static void gamepadUpdate(int device);
    static void gamepadClear(int device);
    static void gamepadClearDevice(int device);
    static void gamepadEnableMasking(int device);
    static void gamepadDisableMasking(int device);
    static void gamepadClearMask(int device);
    static void gamepadClose(int device);
    static void gamepadShutdown(int device);
    static int gamepadGetKey(int device, int key);
    static int gamepadFindKey(int device);
    static int gamepadGetKeyType(int device, int key);  // 1 for key > 31, else 0
    static void gamepadMaskKey(int device, int key);    // keys 0..95 only
    static void gamepadUnMaskKey(int device, int key);  // keys 0..95 only
    // Masks every axis half that reads pressed at its axis's resting value
    // (a trigger resting at -32767), so that a capture does not take it.
    static void gamepadMaskResting(int device);
    static void gamepadsInit();
    static void gamepadsOpen();
    static void gamepadsUpdate();
    static void gamepadsClear();
    static void gamepadsClearDevice();
    static void gamepadsEnableMasking();
    static void gamepadsDisableMasking();
    static void gamepadsClearMask();
    static void gamepadsClose();
    static void gamepadsShutdown();
    static void gamepadsMaskResting();
    // "B0".."B31", then per axis "A0-", "A0+", "A1+", "A1-", ... (odd axes plus first)
    static const char* gamepadsGetKeyName(int key);

    // Keyboards: every keyboard of the display shows up in slot 0; slots
    // 1..15 never open. keyboardsInit opens the display connection and
    // keyboardsShutdown closes it; without a display no key is ever pressed.
    // Masks and FindKey cover indices below 0x8100; a larger index can still
    // read pressed while masking is off.
    static void keyboardInit(int device);
    static void keyboardOpen(int device);
    static void keyboardUpdate(int device);
    static void keyboardClear(int device);
    static void keyboardClearDevice(int device);
    static void keyboardEnableMasking(int device);
    static void keyboardDisableMasking(int device);
    static void keyboardClearMask(int device);
    static void keyboardClose(int device);
    static void keyboardShutdown(int device);
    static int keyboardGetKey(int device, int key);
    static int keyboardFindKey(int device);              // lowest found index below 0x8100, or -1
    static int keyboardGetKeyType(int device, int key);  // always 0
    static void keyboardMaskKey(int device, int key);    // indices below 0x8100 only
    static void keyboardUnMaskKey(int device, int key);  // indices below 0x8100 only
    static void keyboardsInit();
    static void keyboardsOpen();
    static void keyboardsUpdate();
    static void keyboardsClear();
    static void keyboardsClearDevice();
    static void keyboardsEnableMasking();
    static void keyboardsDisableMasking();
    static void keyboardsClearMask();
    static void keyboardsClose();
    static void keyboardsShutdown();
    // Modifier names joined by " + ", then the keycode's name, as
    // "Shift_Left + Control_Left + 'Q'"; keycodes without a name read "0x5C".
    static const char* keyboardsGetKeyName(int key);

private:
    // Opens the (n+1)-th of folder + pattern with %i = 0..15 that opens; -1 if none.
    static int openNthNode(const char* pattern, int n);
};
