// Key reading shared by the mouse and gamepad units of the input driver.
#pragma once

#include <cstdint>

// 1 when key index reads pressed: a button (index <= 31) when non-zero, an
// axis half when above the pressed threshold; masked keys read 0 while
// masking is on. 0 for an index outside 0..count-1.
int inputReadKey(const uint8_t* key, const uint8_t* mask, int masking, int count, int index);

// Lowest index that inputReadKey gives 1 for, or -1.
int inputFindKey(const uint8_t* key, const uint8_t* mask, int masking, int count);
