// Input driver: gamepads read through the Linux joystick interface.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "input/inputcommon.h"
#include "input/inputdriver.h"

namespace {

constexpr int EVENT_SIZE = 8;  // js_event: u32 time, s16 value, u8 type, u8 number
constexpr uint8_t EVENT_BUTTON = 0x01;
constexpr uint8_t EVENT_AXIS = 0x02;
constexpr uint8_t EVENT_INIT = 0x80;  // set on the events that report the state at open

GamepadState gamepads[INPUT_DEVICE_COUNT];
char gamepadName[INPUT_NAME_SIZE];

GamepadState* gamepad(int device) { return inputSlot(gamepads, device); }

// The magnitudes of an axis value on its negative and positive halves; a
// half the value does not reach is left as it was (-1).
void axisHalves(int value, int* negative, int* positive) {
    *negative = *positive = -1;
    if (value < 0) *negative = (-value) >> 8;
    if (value > 0) *positive = value >> 8;
    if (value == 0) *negative = *positive = 0;
}

}  // namespace

void inputApplyGamepadEvent(const uint8_t event[8], GamepadState* state) {
    int16_t value;
    memcpy(&value, event + 4, sizeof value);
    uint8_t type = event[6];
    uint8_t number = event[7];
    if (number >= INPUT_GAMEPAD_AXES) return;
    if (type == (EVENT_INIT | EVENT_AXIS)) {
        // The axis's position at open is where it rests; keys stay untouched.
        state->rest[number] = value;
        state->restKnown |= 1u << number;
    } else if (type == EVENT_BUTTON) {
        state->key[number] = static_cast<uint8_t>(value & 0xff);
    } else if (type == EVENT_AXIS) {
        int negative, positive;
        axisHalves(value, &negative, &positive);
        if (negative >= 0) state->key[32 + 2 * number] = static_cast<uint8_t>(negative);
        if (positive >= 0) state->key[33 + 2 * number] = static_cast<uint8_t>(positive);
    }
}

void inputMaskRestingAxes(GamepadState* state) {
    for (int axis = 0; axis < INPUT_GAMEPAD_AXES; axis++) {
        if (!(state->restKnown & (1u << axis))) continue;
        int negative, positive;
        axisHalves(state->rest[axis], &negative, &positive);
        if (negative > INPUT_AXIS_PRESSED) state->mask[32 + 2 * axis] = 1;
        if (positive > INPUT_AXIS_PRESSED) state->mask[33 + 2 * axis] = 1;
    }
}

const GamepadState* InputDriver::gamepadState(int device) { return gamepad(device); }

void InputDriver::gamepadInit(int device) {
    if (GamepadState* g = gamepad(device)) g->fd = -1;
}

void InputDriver::gamepadOpen(int device) {
    GamepadState* g = gamepad(device);
    if (g == nullptr) return;
    gamepadClose(device);
    g->fd = openNthNode("js%i", device);
    memset(g->rest, 0, sizeof g->rest);
    g->restKnown = 0;
    gamepadClear(device);
    gamepadClearDevice(device);
    gamepadDisableMasking(device);
    gamepadClearMask(device);
}

void InputDriver::gamepadUpdate(int device) {
    GamepadState* g = gamepad(device);
    if (g == nullptr || g->fd < 0) return;
    // Buttons read pressed only in the update that read their press; axis
    // halves hold until the axis moves back.
    memset(g->key, 0, 32);
    uint8_t event[EVENT_SIZE];
    while (read(g->fd, event, sizeof event) == EVENT_SIZE) inputApplyGamepadEvent(event, g);
}

void InputDriver::gamepadClear(int device) {
    if (GamepadState* g = gamepad(device)) memset(g->key, 0, sizeof g->key);
}

void InputDriver::gamepadClearDevice(int device) {
    GamepadState* g = gamepad(device);
    if (g == nullptr || g->fd < 0) return;
    // Whole records, since the joystick node refuses shorter reads; the
    // initial-state events still teach the resting values.
    uint8_t event[EVENT_SIZE];
    while (read(g->fd, event, sizeof event) == EVENT_SIZE) {
        if (event[6] == (EVENT_INIT | EVENT_AXIS)) inputApplyGamepadEvent(event, g);
    }
}

void InputDriver::gamepadEnableMasking(int device) {
    if (GamepadState* g = gamepad(device)) g->masking = 1;
}

void InputDriver::gamepadDisableMasking(int device) {
    if (GamepadState* g = gamepad(device)) g->masking = 0;
}

void InputDriver::gamepadClearMask(int device) {
    if (GamepadState* g = gamepad(device)) memset(g->mask, 0, sizeof g->mask);
}

void InputDriver::gamepadClose(int device) {
    GamepadState* g = gamepad(device);
    if (g == nullptr || g->fd < 0) return;
    close(g->fd);
    g->fd = -1;
}

void InputDriver::gamepadShutdown(int) {}

int InputDriver::gamepadGetKey(int device, int key) {
    const GamepadState* g = gamepad(device);
    if (g == nullptr) return 0;
    return inputReadKey(g->key, g->mask, g->masking, INPUT_GAMEPAD_KEYS, key);
}

int InputDriver::gamepadFindKey(int device) {
    const GamepadState* g = gamepad(device);
    if (g == nullptr) return -1;
    return inputFindKey(g->key, g->mask, g->masking, INPUT_GAMEPAD_KEYS);
}

int InputDriver::gamepadGetKeyType(int, int key) { return key > 31 ? 1 : 0; }

void InputDriver::gamepadMaskKey(int device, int key) {
    if (GamepadState* g = gamepad(device)) inputSetMask(g->mask, INPUT_GAMEPAD_KEYS, key, 1);
}

void InputDriver::gamepadUnMaskKey(int device, int key) {
    if (GamepadState* g = gamepad(device)) inputSetMask(g->mask, INPUT_GAMEPAD_KEYS, key, 0);
}

void InputDriver::gamepadMaskResting(int device) {
    if (GamepadState* g = gamepad(device)) inputMaskRestingAxes(g);
}

void InputDriver::gamepadsInit() { inputForEachDevice(gamepadInit); }
void InputDriver::gamepadsOpen() { inputForEachDevice(gamepadOpen); }
void InputDriver::gamepadsUpdate() { inputForEachDevice(gamepadUpdate); }
void InputDriver::gamepadsClear() { inputForEachDevice(gamepadClear); }
void InputDriver::gamepadsClearDevice() { inputForEachDevice(gamepadClearDevice); }
void InputDriver::gamepadsEnableMasking() { inputForEachDevice(gamepadEnableMasking); }
void InputDriver::gamepadsDisableMasking() { inputForEachDevice(gamepadDisableMasking); }
void InputDriver::gamepadsClearMask() { inputForEachDevice(gamepadClearMask); }
void InputDriver::gamepadsClose() { inputForEachDevice(gamepadClose); }
void InputDriver::gamepadsShutdown() { inputForEachDevice(gamepadShutdown); }
void InputDriver::gamepadsMaskResting() { inputForEachDevice(gamepadMaskResting); }

const char* InputDriver::gamepadsGetKeyName(int key) {
    if (key <= 31) {
        snprintf(gamepadName, sizeof gamepadName, "B%u", static_cast<unsigned>(key) & 31u);
    } else {
        // Low six bits of key - 32 pick the half; odd axes name their plus half first.
        unsigned half = (static_cast<unsigned>(key) - 32u) & 63u;
        unsigned axis = half / 2;
        bool plus = (half % 2 == 1) != (axis % 2 == 1);
        snprintf(gamepadName, sizeof gamepadName, "A%u%c", axis, plus ? '+' : '-');
    }
    return gamepadName;
}
