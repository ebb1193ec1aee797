// FIFOs that stand in for the /dev/input mouse and joystick nodes, so that
// tests feed the input driver real PS/2 packets and js_event records.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "input/inputdriver.h"
#include "support/testsupport.h"

namespace testsupport {

// js_event types as the platform sends them.
constexpr uint8_t JS_BUTTON = 0x01, JS_AXIS = 0x02, JS_INIT_BUTTON = 0x81, JS_INIT_AXIS = 0x82;

// A scratch folder, set as the driver's device folder while the object
// lives, with FIFO nodes by name ("mouse1", "js0"). The test keeps each
// node's write end open, so the driver's reads find "nothing waiting".
class FakeDevices {
public:
    FakeDevices() {
        char pattern[] = "/tmp/discwren-input-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        path_ = std::string(pattern) + "/";
        InputDriver::setDeviceFolder(path_.c_str());
    }
    ~FakeDevices() {
        InputDriver::setDeviceFolder(nullptr);
        for (int fd : fds_) close(fd);
        removeTree(path_);
    }
    // Makes the node; returns the descriptor to write its input to.
    int add(const std::string& name) {
        std::string node = path_ + name;
        EXPECT_EQ(mkfifo(node.c_str(), 0600), 0) << node << ": " << strerror(errno);
        fds_.push_back(open(node.c_str(), O_RDWR | O_NONBLOCK));
        return fds_.back();
    }
    static void write(int fd, const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // One js_event record: time, value, type, number in the platform's layout.
    static void jsEvent(int fd, uint8_t type, uint8_t number, int16_t value) {
        std::vector<uint8_t> event(8, 0);
        memcpy(&event[4], &value, 2);
        event[6] = type;
        event[7] = number;
        write(fd, event);
    }

private:
    std::string path_;
    std::vector<int> fds_;
};

}  // namespace testsupport
