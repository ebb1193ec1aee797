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
#include <cstring>
#include <string>
#include <vector>

#include "input/inputdriver.h"

namespace {

// The bytes of every device record of every kind.
std::vector<uint8_t> snapshot() {
    std::vector<uint8_t> bytes;
    auto add = [&](const void* record, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(record);
        bytes.insert(bytes.end(), p, p + size);
    };
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
        add(InputDriver::mouseState(slot), sizeof(MouseState));
        add(InputDriver::gamepadState(slot), sizeof(GamepadState));
        add(InputDriver::keyboardState(slot), sizeof(KeyboardState));
    }
    return bytes;
}

const int HOSTILE_SLOTS[] = {-1, INT_MIN, 16, 17, 0x7fff, INT_MAX};
const int HOSTILE_KEYS[] = {-1, INT_MIN, 64, 96, 0x7fff, 0x8100, 0xffff, 0x10000, INT_MAX};

// Every operation with hostile slots, and with hostile keys on every slot.
void exerciseHostileIndices() {
    for (int slot : HOSTILE_SLOTS) {
        EXPECT_EQ(InputDriver::mouseState(slot), nullptr);
        EXPECT_EQ(InputDriver::gamepadState(slot), nullptr);
        EXPECT_EQ(InputDriver::keyboardState(slot), nullptr);
        EXPECT_EQ(InputDriver::mouseFindKey(slot), -1);
        EXPECT_EQ(InputDriver::gamepadFindKey(slot), -1);
        EXPECT_EQ(InputDriver::keyboardFindKey(slot), -1);
        for (void (*operation)(int) : {InputDriver::mouseInit,
                                       InputDriver::mouseOpen,
                                       InputDriver::mouseUpdate,
                                       InputDriver::mouseClear,
                                       InputDriver::mouseClearDevice,
                                       InputDriver::mouseEnableMasking,
                                       InputDriver::mouseDisableMasking,
                                       InputDriver::mouseClearMask,
                                       InputDriver::mouseClose,
                                       InputDriver::mouseShutdown,
                                       InputDriver::gamepadInit,
                                       InputDriver::gamepadOpen,
                                       InputDriver::gamepadUpdate,
                                       InputDriver::gamepadClear,
                                       InputDriver::gamepadClearDevice,
                                       InputDriver::gamepadEnableMasking,
                                       InputDriver::gamepadDisableMasking,
                                       InputDriver::gamepadClearMask,
                                       InputDriver::gamepadClose,
                                       InputDriver::gamepadShutdown,
                                       InputDriver::gamepadMaskResting,
                                       InputDriver::keyboardInit,
                                       InputDriver::keyboardOpen,
                                       InputDriver::keyboardUpdate,
                                       InputDriver::keyboardClear,
                                       InputDriver::keyboardClearDevice,
                                       InputDriver::keyboardEnableMasking,
                                       InputDriver::keyboardDisableMasking,
                                       InputDriver::keyboardClearMask,
                                       InputDriver::keyboardClose,
                                       InputDriver::keyboardShutdown})
            operation(slot);
    }
    std::vector<int> slots(std::begin(HOSTILE_SLOTS), std::end(HOSTILE_SLOTS));
    for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) slots.push_back(slot);
    for (int slot : slots) {
        for (int key : HOSTILE_KEYS) {
            EXPECT_EQ(InputDriver::mouseGetKey(slot, key), 0);
            EXPECT_EQ(InputDriver::gamepadGetKey(slot, key), 0);
            EXPECT_EQ(InputDriver::keyboardGetKey(slot, key), 0);
            EXPECT_EQ(InputDriver::keyboardGetKeyType(slot, key), 0);
            InputDriver::mouseGetKeyType(slot, key);
            InputDriver::gamepadGetKeyType(slot, key);
            for (void (*operation)(int, int) :
                 {InputDriver::mouseMaskKey, InputDriver::mouseUnMaskKey,
                  InputDriver::gamepadMaskKey, InputDriver::gamepadUnMaskKey,
                  InputDriver::keyboardMaskKey, InputDriver::keyboardUnMaskKey})
                operation(slot, key);
        }
    }
}

TEST(HostileIndices, TouchNothingOutsideTheRecords) {
    InputDriver::miceInit();
    InputDriver::gamepadsInit();
    // Once with masking on, so that mask bytes are read as well, and once
    // with it off, so that a stray mask write into the flag shows.
    for (int masking : {1, 0}) {
        for (int slot = 0; slot < INPUT_DEVICE_COUNT; slot++) {
            InputDriver::mouseEnableMasking(slot);
            InputDriver::gamepadEnableMasking(slot);
            InputDriver::keyboardEnableMasking(slot);
            if (masking) continue;
            InputDriver::mouseDisableMasking(slot);
            InputDriver::gamepadDisableMasking(slot);
            InputDriver::keyboardDisableMasking(slot);
        }
        const std::vector<uint8_t> before = snapshot();
        exerciseHostileIndices();
        EXPECT_TRUE(snapshot() == before) << "a hostile slot or key changed a device record";
    }

    for (int key : HOSTILE_KEYS) {
        for (const char* (*name)(int) :
             {InputDriver::miceGetKeyName, InputDriver::gamepadsGetKeyName,
              InputDriver::keyboardsGetKeyName}) {
            const char* text = name(key);
            EXPECT_LT(strnlen(text, INPUT_NAME_SIZE), static_cast<size_t>(INPUT_NAME_SIZE));
            EXPECT_GT(strlen(text), 0u);
        }
    }
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

    InputDriver::setDeviceFolder(nullptr);
    InputDriver::miceInit();
    InputDriver::gamepadsInit();
    InputDriver::miceOpen();
    InputDriver::gamepadsOpen();
    uint8_t packet[3] = {0x04, 0x00, 0x00};
    uint8_t event[8] = {0, 0, 0, 0, 1, 0, 0x01, 7};  // button 7 pressed
    if (write(mouse, packet, sizeof packet) != 3 || write(pad, event, sizeof event) != 8) return 5;
    InputDriver::miceUpdate();
    InputDriver::gamepadsUpdate();
    if (InputDriver::mouseFindKey(0) != 2) return 6;
    if (InputDriver::gamepadFindKey(0) != 7) return 7;
    if (InputDriver::mouseState(1)->fd != -1 || InputDriver::gamepadState(1)->fd != -1) return 8;
    return 0;
}

TEST(RealNodes, MiceAndGamepadsOpenTheirDevInputNodes) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(readRealNodes());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private mount namespace here (needs root and CAP_SYS_ADMIN): "
                        "the real /dev/input/mouse%i and /dev/input/js%i paths went untested";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed at step " << WEXITSTATUS(status);
}

}  // namespace
