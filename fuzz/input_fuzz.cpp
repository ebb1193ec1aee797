// The PS/2 packet and js_event decoders on any bytes: directly, and through the
// driver reading them from device nodes (plain files in a scratch folder).
// Every key must stay in its range and the queries must agree with each other.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzzsupport.h"
#include "input/inputdriver.h"

namespace {

void writeNode(const char* name, const uint8_t* data, size_t size, bool append) {
    int fd = open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
    if (fd < 0) fuzzsupport::fail(std::string("cannot write ") + name);
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size))
        fuzzsupport::fail(std::string("short write to ") + name);
    close(fd);
}

// FindKey names the lowest key that GetKey reports, and GetKey gives 0 or 1.
template <typename Get, typename Find>
void checkQueries(const char* kind, int keys, Get get, Find find) {
    for (int device = -1; device <= INPUT_DEVICE_COUNT; device++) {
        int lowest = -1;
        for (int key = -2; key < keys + 2; key++) {
            int pressed = get(device, key);
            if (pressed != 0 && pressed != 1)
                fuzzsupport::fail(std::string(kind) + " GetKey not 0/1");
            if (pressed && (key < 0 || key >= keys))
                fuzzsupport::fail(std::string(kind) + " key out of range pressed");
            if (pressed && lowest < 0) lowest = key;
        }
        if (find(device) != lowest) fuzzsupport::fail(std::string(kind) + " FindKey disagrees");
    }
}

void checkMouseKeys(const uint8_t key[INPUT_MOUSE_KEYS]) {
    for (int i = 0; i < INPUT_MOUSE_KEYS; i++) {
        bool used = i < 3 || (i >= 32 && i < 38);
        if (!used && key[i] != 0) fuzzsupport::fail("mouse key " + std::to_string(i) + " set");
        if (i < 3 && key[i] > 1) fuzzsupport::fail("mouse button above 1");
        if (i >= 32 && key[i] > 127) fuzzsupport::fail("mouse axis above 127");
    }
}

void checkGamepadAxes(const GamepadState* state) {
    for (int i = 32; i < INPUT_GAMEPAD_KEYS; i++)
        if (state->key[i] > 128) fuzzsupport::fail("gamepad axis half above 128");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = fuzzsupport::enterScratchDir() + "/";
    InputDriver::setDeviceFolder(folder.c_str());
    InputDriver::miceInit();
    InputDriver::gamepadsInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The pure decoders: packets of 1 to 4 bytes, and 8-byte events.
    for (size_t at = 0; at < size;) {
        int count = 1 + data[at] % 4;
        uint8_t key[INPUT_MOUSE_KEYS] = {};
        uint8_t packet[4] = {};
        size_t take = std::min<size_t>(static_cast<size_t>(count), size - at);
        memcpy(packet, data + at, take);
        inputDecodeMousePacket(packet, static_cast<int>(take), key);
        checkMouseKeys(key);
        at += take;
    }
    GamepadState state{};
    for (size_t at = 0; at + 8 <= size; at += 8) {
        inputApplyGamepadEvent(data + at, &state);
        checkGamepadAxes(&state);
    }
    inputMaskRestingAxes(&state);

    // Through the nodes of slot 0 (the all-device forms only loop over the
    // slots): the first byte says how much of the stream waits
    // before the node is opened (initial-state events), the rest comes after.
    size_t before = size ? std::min<size_t>(data[0], size) : 0;
    writeNode("mouse0", data, before, false);
    writeNode("js0", data, before, false);
    InputDriver::mouseOpen(0);
    InputDriver::gamepadOpen(0);
    writeNode("mouse0", data + before, size - before, true);
    writeNode("js0", data + before, size - before, true);
    InputDriver::mouseEnableMasking(0);
    InputDriver::gamepadEnableMasking(0);
    InputDriver::gamepadMaskResting(0);
    const size_t rounds = std::min<size_t>(size, 32) + 1;
    for (size_t round = 0; round < rounds; round++) {
        InputDriver::mouseUpdate(0);
        InputDriver::gamepadUpdate(0);
        checkMouseKeys(InputDriver::mouseState(0)->key);
        checkGamepadAxes(InputDriver::gamepadState(0));
        if (round == 0 || round + 1 == rounds) {
            checkQueries("mouse", INPUT_MOUSE_KEYS, InputDriver::mouseGetKey,
                         InputDriver::mouseFindKey);
            checkQueries("gamepad", INPUT_GAMEPAD_KEYS, InputDriver::gamepadGetKey,
                         InputDriver::gamepadFindKey);
        }
        // Mask what was found, as the capture does, and look again.
        int found = InputDriver::mouseFindKey(0);
        if (found >= 0) InputDriver::mouseMaskKey(0, found);
        found = InputDriver::gamepadFindKey(0);
        if (found >= 0) InputDriver::gamepadMaskKey(0, found);
    }
    for (int key = -1; key < 130; key++) {
        if (strlen(InputDriver::miceGetKeyName(key)) >= INPUT_NAME_SIZE ||
            strlen(InputDriver::gamepadsGetKeyName(key)) >= INPUT_NAME_SIZE)
            fuzzsupport::fail("key name too long");
    }
    InputDriver::mouseClose(0);
    InputDriver::gamepadClose(0);
    return 0;
}
