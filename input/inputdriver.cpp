// Input driver: the part shared by all kinds, and the mice.
#include "input/inputdriver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "input/inputcommon.h"

namespace {

constexpr int FOLDER_SIZE = 4096;
char deviceFolder[FOLDER_SIZE] = "/dev/input/";

MouseState mice[INPUT_DEVICE_COUNT];
uint8_t mouseBuffer[16];
char mouseName[INPUT_NAME_SIZE];

MouseState* mouse(int device) { return inputSlot(mice, device); }

// A mouse axis movement as the magnitude of its negative or positive half.
void decodeMouseAxis(uint8_t byte, uint8_t* negative, uint8_t* positive) {
    int v = static_cast<int8_t>(byte);
    if (v < 0) *negative = static_cast<uint8_t>(-v > 127 ? 127 : -v);
    if (v > 0) *positive = static_cast<uint8_t>(v);
}

}  // namespace

void inputDecodeMousePacket(const uint8_t* bytes, int count, uint8_t key[INPUT_MOUSE_KEYS]) {
    if (count <= 0) return;
    for (int button = 0; button < 3; button++) key[button] = (bytes[0] >> button) & 1;
    // Bytes 1..3 move axes 0..2; anything after the fourth byte is dropped.
    for (int axis = 0; axis < 3 && axis + 1 < count; axis++)
        decodeMouseAxis(bytes[axis + 1], &key[32 + 2 * axis], &key[33 + 2 * axis]);
}

// Common model

int inputReadKey(const uint8_t* key, const uint8_t* mask, int masking, int count, int index) {
    if (index < 0 || index >= count) return 0;
    bool pressed = index <= 31 ? key[index] != 0 : key[index] > INPUT_AXIS_PRESSED;
    if (!pressed) return 0;
    return masking && mask[index] ? 0 : 1;
}

int inputFindKey(const uint8_t* key, const uint8_t* mask, int masking, int count) {
    for (int index = 0; index < count; index++)
        if (inputReadKey(key, mask, masking, count, index)) return index;
    return -1;
}

void InputDriver::setDeviceFolder(const char* folder) {
    if (folder == nullptr) folder = "/dev/input/";
    // A folder too long for a node path would open the wrong nodes: keep none.
    if (strlen(folder) >= FOLDER_SIZE) folder = "";
    snprintf(deviceFolder, sizeof deviceFolder, "%s", folder);
}

int InputDriver::openNthNode(const char* pattern, int n) {
    if (deviceFolder[0] == '\0') return -1;
    char path[FOLDER_SIZE + 16];
    int opened = 0;
    for (int node = 0; node < INPUT_DEVICE_COUNT; node++) {
        char name[16];
        snprintf(name, sizeof name, pattern, node);
        snprintf(path, sizeof path, "%s%s", deviceFolder, name);
        int fd = open(path, O_RDONLY | O_NONBLOCK);
        if (fd < 0) continue;
        // Only nodes that open count, so gaps in the numbering close up.
        if (opened++ == n) return fd;
        close(fd);
    }
    return -1;
}

// Mice

const MouseState* InputDriver::mouseState(int device) { return mouse(device); }

void InputDriver::mouseInit(int device) {
    if (MouseState* m = mouse(device)) m->fd = -1;
}

void InputDriver::mouseOpen(int device) {
    MouseState* m = mouse(device);
    if (m == nullptr) return;
    mouseClose(device);
    m->fd = openNthNode("mouse%i", device);
    mouseClear(device);
    mouseClearDevice(device);
    mouseDisableMasking(device);
    mouseClearMask(device);
}

void InputDriver::mouseUpdate(int device) {
    MouseState* m = mouse(device);
    if (m == nullptr || m->fd < 0) return;
    // A key reads pressed only in the update that received a packet showing it.
    memset(m->key, 0, sizeof m->key);
    ssize_t n = read(m->fd, mouseBuffer, sizeof mouseBuffer);
    if (n <= 0) return;
    inputDecodeMousePacket(mouseBuffer, static_cast<int>(n), m->key);
}

void InputDriver::mouseClear(int device) {
    if (MouseState* m = mouse(device)) memset(m->key, 0, sizeof m->key);
}

void InputDriver::mouseClearDevice(int device) {
    MouseState* m = mouse(device);
    if (m == nullptr || m->fd < 0) return;
    uint8_t byte;
    while (read(m->fd, &byte, 1) > 0) {
    }
}

void InputDriver::mouseEnableMasking(int device) {
    if (MouseState* m = mouse(device)) m->masking = 1;
}

void InputDriver::mouseDisableMasking(int device) {
    if (MouseState* m = mouse(device)) m->masking = 0;
}

void InputDriver::mouseClearMask(int device) {
    if (MouseState* m = mouse(device)) memset(m->mask, 0, sizeof m->mask);
}

void InputDriver::mouseClose(int device) {
    MouseState* m = mouse(device);
    if (m == nullptr || m->fd < 0) return;
    close(m->fd);
    m->fd = -1;
}

void InputDriver::mouseShutdown(int) {}

int InputDriver::mouseGetKey(int device, int key) {
    const MouseState* m = mouse(device);
    if (m == nullptr) return 0;
    return inputReadKey(m->key, m->mask, m->masking, INPUT_MOUSE_KEYS, key);
}

int InputDriver::mouseFindKey(int device) {
    const MouseState* m = mouse(device);
    if (m == nullptr) return -1;
    return inputFindKey(m->key, m->mask, m->masking, INPUT_MOUSE_KEYS);
}

int InputDriver::mouseGetKeyType(int, int key) { return key > 31 ? 1 : 0; }

void InputDriver::mouseMaskKey(int device, int key) {
    if (MouseState* m = mouse(device)) inputSetMask(m->mask, INPUT_MOUSE_KEYS, key, 1);
}

void InputDriver::mouseUnMaskKey(int device, int key) {
    if (MouseState* m = mouse(device)) inputSetMask(m->mask, INPUT_MOUSE_KEYS, key, 0);
}

void InputDriver::miceInit() { inputForEachDevice(mouseInit); }
void InputDriver::miceOpen() { inputForEachDevice(mouseOpen); }
void InputDriver::miceUpdate() { inputForEachDevice(mouseUpdate); }
void InputDriver::miceClear() { inputForEachDevice(mouseClear); }
void InputDriver::miceClearDevice() { inputForEachDevice(mouseClearDevice); }
void InputDriver::miceEnableMasking() { inputForEachDevice(mouseEnableMasking); }
void InputDriver::miceDisableMasking() { inputForEachDevice(mouseDisableMasking); }
void InputDriver::miceClearMask() { inputForEachDevice(mouseClearMask); }
void InputDriver::miceClose() { inputForEachDevice(mouseClose); }
void InputDriver::miceShutdown() { inputForEachDevice(mouseShutdown); }

const char* InputDriver::miceGetKeyName(int key) {
    // The low five bits pick the button, or the axis half ("A0-", "A0+", ...).
    unsigned low = static_cast<unsigned>(key) & 31u;
    if (key <= 31)
        snprintf(mouseName, sizeof mouseName, "B%u", low);
    else
        snprintf(mouseName, sizeof mouseName, "A%u%c", low / 2, low % 2 ? '+' : '-');
    return mouseName;
}
