// Pieces shared by the mouse, gamepad and keyboard units of the input driver.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "input/inputdriver.h"

// 1 when key index reads pressed: a button (index <= 31) when non-zero, an
// axis half when above the pressed threshold; masked keys read 0 while
// masking is on. 0 for an index outside 0..count-1.
int inputReadKey(const uint8_t* key, const uint8_t* mask, int masking, int count, int index);

// Lowest index that inputReadKey gives 1 for, or -1.
int inputFindKey(const uint8_t* key, const uint8_t* mask, int masking, int count);

// The record of slot device, nullptr for a slot outside 0..15.
template <typename State>
State* inputSlot(State (&records)[INPUT_DEVICE_COUNT], int device) {
    if (device < 0 || device >= INPUT_DEVICE_COUNT) return nullptr;
    return &records[device];
}

// Sets mask[key] to value when key lies in 0..count-1.
inline void inputSetMask(uint8_t* mask, int count, int key, uint8_t value) {
    if (key >= 0 && key < count) mask[key] = value;
}

// Runs a per-device operation on every slot.
inline void inputForEachDevice(void (*operation)(int)) {
    for (int device = 0; device < INPUT_DEVICE_COUNT; device++) operation(device);
}

// Appends text to the NUL-terminated name in buffer (size bytes), cutting it
// at the buffer's end.
inline void inputAppendName(char* buffer, size_t size, const char* text) {
    size_t used = strlen(buffer);
    snprintf(buffer + used, size - used, "%s", text);
}
