// Placeholder definitions; replaced by the driver units.
#include "input/inputdriver.h"

void inputDecodeMousePacket(const uint8_t*, int, uint8_t*) {}
void inputApplyGamepadEvent(const uint8_t*, GamepadState*) {}
void inputMaskRestingAxes(GamepadState*) {}
int inputDecodeKeymap(const uint8_t*, uint8_t*, int*) { return 0; }

void InputDriver::setDeviceFolder(const char*) {}
const MouseState* InputDriver::mouseState(int) { return nullptr; }
const GamepadState* InputDriver::gamepadState(int) { return nullptr; }
const KeyboardState* InputDriver::keyboardState(int) { return nullptr; }
void InputDriver::mouseInit(int) {}
void InputDriver::mouseOpen(int) {}
void InputDriver::mouseUpdate(int) {}
void InputDriver::mouseClear(int) {}
void InputDriver::mouseClearDevice(int) {}
void InputDriver::mouseEnableMasking(int) {}
void InputDriver::mouseDisableMasking(int) {}
void InputDriver::mouseClearMask(int) {}
void InputDriver::mouseClose(int) {}
void InputDriver::mouseShutdown(int) {}
int InputDriver::mouseGetKey(int, int) { return 0; }
int InputDriver::mouseFindKey(int) { return 0; }
int InputDriver::mouseGetKeyType(int, int) { return 0; }
void InputDriver::mouseMaskKey(int, int) {}
void InputDriver::mouseUnMaskKey(int, int) {}
void InputDriver::miceInit() {}
void InputDriver::miceOpen() {}
void InputDriver::miceUpdate() {}
void InputDriver::miceClear() {}
void InputDriver::miceClearDevice() {}
void InputDriver::miceEnableMasking() {}
void InputDriver::miceDisableMasking() {}
void InputDriver::miceClearMask() {}
void InputDriver::miceClose() {}
void InputDriver::miceShutdown() {}
const char* InputDriver::miceGetKeyName(int) { return nullptr; }
void InputDriver::gamepadInit(int) {}
void InputDriver::gamepadOpen(int) {}
void InputDriver::gamepadUpdate(int) {}
void InputDriver::gamepadClear(int) {}
void InputDriver::gamepadClearDevice(int) {}
void InputDriver::gamepadEnableMasking(int) {}
void InputDriver::gamepadDisableMasking(int) {}
void InputDriver::gamepadClearMask(int) {}
void InputDriver::gamepadClose(int) {}
void InputDriver::gamepadShutdown(int) {}
int InputDriver::gamepadGetKey(int, int) { return 0; }
int InputDriver::gamepadFindKey(int) { return 0; }
int InputDriver::gamepadGetKeyType(int, int) { return 0; }
void InputDriver::gamepadMaskKey(int, int) {}
void InputDriver::gamepadUnMaskKey(int, int) {}
void InputDriver::gamepadMaskResting(int) {}
void InputDriver::gamepadsInit() {}
void InputDriver::gamepadsOpen() {}
void InputDriver::gamepadsUpdate() {}
void InputDriver::gamepadsClear() {}
void InputDriver::gamepadsClearDevice() {}
void InputDriver::gamepadsEnableMasking() {}
void InputDriver::gamepadsDisableMasking() {}
void InputDriver::gamepadsClearMask() {}
void InputDriver::gamepadsClose() {}
void InputDriver::gamepadsShutdown() {}
void InputDriver::gamepadsMaskResting() {}
const char* InputDriver::gamepadsGetKeyName(int) { return nullptr; }
void InputDriver::keyboardInit(int) {}
void InputDriver::keyboardOpen(int) {}
void InputDriver::keyboardUpdate(int) {}
void InputDriver::keyboardClear(int) {}
void InputDriver::keyboardClearDevice(int) {}
void InputDriver::keyboardEnableMasking(int) {}
void InputDriver::keyboardDisableMasking(int) {}
void InputDriver::keyboardClearMask(int) {}
void InputDriver::keyboardClose(int) {}
void InputDriver::keyboardShutdown(int) {}
int InputDriver::keyboardGetKey(int, int) { return 0; }
int InputDriver::keyboardFindKey(int) { return 0; }
int InputDriver::keyboardGetKeyType(int, int) { return 0; }
void InputDriver::keyboardMaskKey(int, int) {}
void InputDriver::keyboardUnMaskKey(int, int) {}
void InputDriver::keyboardsInit() {}
void InputDriver::keyboardsOpen() {}
void InputDriver::keyboardsUpdate() {}
void InputDriver::keyboardsClear() {}
void InputDriver::keyboardsClearDevice() {}
void InputDriver::keyboardsEnableMasking() {}
void InputDriver::keyboardsDisableMasking() {}
void InputDriver::keyboardsClearMask() {}
void InputDriver::keyboardsClose() {}
void InputDriver::keyboardsShutdown() {}
const char* InputDriver::keyboardsGetKeyName(int) { return nullptr; }
int InputDriver::openNthNode(const char*, int) { return -1; }
