// FIFOs that stand in for /dev/input mouse and joystick nodes, so that tests
// feed the input driver real PS/2 packets and js_event records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// One FIFO node; the test holds its write end open for the node's lifetime,
// so the driver's non-blocking reads find "nothing waiting" rather than the end.
class FakeNode {
public:
    explicit FakeNode(const std::string& path);
    ~FakeNode();
    FakeNode(const FakeNode&) = delete;
    FakeNode& operator=(const FakeNode&) = delete;

    void write(const std::vector<uint8_t>& bytes);
    // One js_event record: time, value, type, number in the platform's layout.
    void jsEvent(uint8_t type, uint8_t number, int16_t value);

private:
    std::string path_;
    int fd_;
};

// A scratch folder holding fake nodes by name ("mouse1", "js0"), set as the
// driver's device folder while the object lives.
class FakeDeviceFolder {
public:
    FakeDeviceFolder();
    ~FakeDeviceFolder();
    FakeDeviceFolder(const FakeDeviceFolder&) = delete;
    FakeDeviceFolder& operator=(const FakeDeviceFolder&) = delete;

    FakeNode& add(const std::string& name);
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::vector<std::unique_ptr<FakeNode>> nodes_;
};

// js_event types as the platform sends them.
constexpr uint8_t JS_BUTTON = 0x01;
constexpr uint8_t JS_AXIS = 0x02;
constexpr uint8_t JS_INIT_BUTTON = 0x81;
constexpr uint8_t JS_INIT_AXIS = 0x82;

}  // namespace testsupport
