// Hostile slots and key indices, as a hand-edited settings file can carry
// them, and the real /dev/input node paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "input/inputdriver.h"
#include "support/testsupport.h"

using ID = InputDriver;

namespace {

// The bytes of every device record of every kind.
std::vector<uint8_t> snapshot() {
    std::vector<uint8_t> bytes;
    auto add = [&](const void* record, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(record);
        bytes.insert(bytes.end(), p, p + size);
    };
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
        add(ID::mouseState(slot), sizeof(MouseState));
        add(ID::gamepadState(slot), sizeof(GamepadState));
        add(ID::keyboardState(slot), sizeof(KeyboardState));
    }
    return bytes;
}

const int HOSTILE_SLOTS[] = {-1, INT_MIN, 16, 17, 0x7fff, INT_MAX};
const int HOSTILE_KEYS[] = {-1, INT_MIN, 64, 96, 0x7fff, 0x8100, 0xffff, 0x10000, INT_MAX};

// clang-format off
void (*const SLOT_OPERATIONS[])(int) = {
    ID::mouseInit, ID::mouseOpen, ID::mouseUpdate, ID::mouseClear, ID::mouseClearDevice,
    ID::mouseEnableMasking, ID::mouseDisableMasking, ID::mouseClearMask, ID::mouseClose,
    ID::mouseShutdown, ID::gamepadInit, ID::gamepadOpen, ID::gamepadUpdate, ID::gamepadClear,
    ID::gamepadClearDevice, ID::gamepadEnableMasking, ID::gamepadDisableMasking,
    ID::gamepadClearMask, ID::gamepadClose, ID::gamepadShutdown, ID::gamepadMaskResting,
    ID::keyboardInit, ID::keyboardOpen, ID::keyboardUpdate, ID::keyboardClear,
    ID::keyboardClearDevice, ID::keyboardEnableMasking, ID::keyboardDisableMasking,
    ID::keyboardClearMask, ID::keyboardClose, ID::keyboardShutdown};
void (*const KEY_OPERATIONS[])(int, int) = {
    ID::mouseMaskKey, ID::mouseUnMaskKey, ID::gamepadMaskKey, ID::gamepadUnMaskKey,
    ID::keyboardMaskKey, ID::keyboardUnMaskKey};
// clang-format on

// Every operation with hostile slots, and with hostile keys on every slot.
void exerciseHostileIndices() {
    for (int slot : HOSTILE_SLOTS) {
        EXPECT_EQ(ID::mouseState(slot), nullptr);
        EXPECT_EQ(ID::gamepadState(slot), nullptr);
        EXPECT_EQ(ID::keyboardState(slot), nullptr);
        EXPECT_EQ(ID::mouseFindKey(slot) & ID::gamepadFindKey(slot) & ID::keyboardFindKey(slot),
                  -1);
        for (auto operation : SLOT_OPERATIONS) operation(slot);
    }
    std::vector<int> slots(std::begin(HOSTILE_SLOTS), std::end(HOSTILE_SLOTS));
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) slots.push_back(slot);
    for (int slot : slots) {
        for (int key : HOSTILE_KEYS) {
            EXPECT_EQ(ID::mouseGetKey(slot, key) | ID::gamepadGetKey(slot, key) |
                          ID::keyboardGetKey(slot, key) | ID::keyboardGetKeyType(slot, key),
                      0);
            ID::mouseGetKeyType(slot, key);
            ID::gamepadGetKeyType(slot, key);
            for (auto operation : KEY_OPERATIONS) operation(slot, key);
        }
    }
}

TEST(HostileIndices, TouchNothingOutsideTheRecords) {
    ID::miceInit();
    ID::gamepadsInit();
    // Once with masking on, so that mask bytes are read as well, and once
    // with it off, so that a stray mask write into the flag shows.
    for (int masking : {1, 0}) {
        for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
            ID::mouseEnableMasking(slot);
            ID::gamepadEnableMasking(slot);
            ID::keyboardEnableMasking(slot);
            if (masking) continue;
            ID::mouseDisableMasking(slot);
            ID::gamepadDisableMasking(slot);
            ID::keyboardDisableMasking(slot);
        }
        const std::vector<uint8_t> before = snapshot();
        exerciseHostileIndices();
        EXPECT_TRUE(snapshot() == before) << "a hostile slot or key changed a device record";
    }

    for (int key : HOSTILE_KEYS) {
        for (const char* (*name)(int) :
             {ID::miceGetKeyName, ID::gamepadsGetKeyName, ID::keyboardsGetKeyName}) {
            const char* text = name(key);
            EXPECT_LT(strnlen(text, INPUT_NAME_SIZE), static_cast<size_t>(INPUT_NAME_SIZE));
            EXPECT_GT(strlen(text), 0u);
        }
    }
}

TEST(HostileIndices, NoDisplayMeansNoKeyboardKeys) {
    std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    ID::keyboardsInit();
    ID::keyboardsOpen();
    ID::keyboardsUpdate();
    EXPECT_EQ(ID::keyboardFindKey(0), -1);
    ID::keyboardsClose();
    ID::keyboardsShutdown();
    setenv("DISPLAY", display.c_str(), 1);
}

// Child side of the test below: /dev/input of a private mount namespace
// holds FIFOs; the driver finds them at its default paths. Exit code 0 when
// both kinds read their node, 77 when no namespace can be made.
int readRealNodes() {
    if (unshare(CLONE_NEWNS) != 0) return 77;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    struct stat st;
    if (stat("/dev/input", &st) == 0) {
        if (mount("tmpfs", "/dev/input", "tmpfs", 0, nullptr) != 0) return 77;
    } else {
        // No /dev/input on this machine: a private /dev to make one in.
        if (mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0) return 77;
        if (mkdir("/dev/input", 0755) != 0) return 2;
    }
    if (mkfifo("/dev/input/mouse2", 0600) != 0 || mkfifo("/dev/input/js1", 0600) != 0) return 3;
    int mouse = open("/dev/input/mouse2", O_RDWR | O_NONBLOCK);
    int pad = open("/dev/input/js1", O_RDWR | O_NONBLOCK);
    if (mouse < 0 || pad < 0) return 4;

    ID::setDeviceFolder(nullptr);
    ID::miceInit();
    ID::gamepadsInit();
    ID::miceOpen();
    ID::gamepadsOpen();
    uint8_t packet[3] = {0x04, 0x00, 0x00};
    uint8_t event[8] = {0, 0, 0, 0, 1, 0, 0x01, 7};  // button 7 pressed
    if (write(mouse, packet, sizeof packet) != 3 || write(pad, event, sizeof event) != 8) return 5;
    ID::miceUpdate();
    ID::gamepadsUpdate();
    if (ID::mouseFindKey(0) != 2) return 6;
    if (ID::gamepadFindKey(0) != 7) return 7;
    if (ID::mouseState(1)->fd != -1 || ID::gamepadState(1)->fd != -1) return 8;
    return 0;
}

TEST(RealNodes, MiceAndGamepadsOpenTheirDevInputNodes) {
    const int status = testsupport::inChild(readRealNodes);
    if (status == 77)
        GTEST_SKIP() << "no private mount namespace here (needs root and CAP_SYS_ADMIN): "
                        "the real /dev/input/mouse%i and /dev/input/js%i paths went untested";
    EXPECT_EQ(status, 0) << "failed at step " << status;
}

}  // namespace
