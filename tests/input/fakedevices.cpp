#include "input/fakedevices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "input/inputdriver.h"
#include "support/testsupport.h"

namespace testsupport {

FakeNode::FakeNode(const std::string& path) : path_(path) {
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << path << ": " << strerror(errno);
    // Read-write, so that opening never waits for a reader.
    fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK);
    EXPECT_GE(fd_, 0) << path << ": " << strerror(errno);
}

FakeNode::~FakeNode() {
    if (fd_ >= 0) close(fd_);
}

void FakeNode::write(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void FakeNode::jsEvent(uint8_t type, uint8_t number, int16_t value) {
    std::vector<uint8_t> event(8, 0);
    uint32_t time = 1234;
    memcpy(&event[0], &time, 4);
    memcpy(&event[4], &value, 2);
    event[6] = type;
    event[7] = number;
    write(event);
}

FakeDeviceFolder::FakeDeviceFolder() {
    char pattern[] = "/tmp/discwren-input-XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    path_ = std::string(made ? made : "/nonexistent") + "/";
    InputDriver::setDeviceFolder(path_.c_str());
}

FakeDeviceFolder::~FakeDeviceFolder() {
    InputDriver::setDeviceFolder(nullptr);
    nodes_.clear();  // the nodes go before their folder
    removeTree(path_);
}

FakeNode& FakeDeviceFolder::add(const std::string& name) {
    nodes_.push_back(std::make_unique<FakeNode>(path_ + name));
    return *nodes_.back();
}

}  // namespace testsupport
