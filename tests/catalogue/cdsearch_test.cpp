#include "catalogue/cdsearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "containers/linkedlist.h"
#include "support/testsupport.h"

using testsupport::deviceList;
using testsupport::directoryList;

namespace {

using Strings = std::vector<std::string>;

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        linkedListSystemInit();
        ASSERT_EQ(cdsearchInit(), 0);
    }
    void TearDown() override {
        cdsearchShutdown();
        linkedListSystemShutdown();
    }
};

TEST_F(CatalogueTest, DevicesAreSplitAndKeptOnce) {
    struct Case {
        Strings added;
        Strings expected;
    } cases[] = {
        {{"/dev/cdrom", "/dev/cdrom"}, {"/dev/|cdrom"}},
        {{"/dev/cdrom", "/dev/cdrom/"}, {"/dev/|cdrom", "/dev/cdrom/|"}},
        {{"/dev/cdrom", "/dev/CDROM"}, {"/dev/|cdrom", "/dev/|CDROM"}},
        {{"/dev/sr1", "/dev/cdrom", "/dev/sr1"}, {"/dev/|sr1", "/dev/|cdrom"}},
        {{"cdrom", "/cdrom"}, {"|cdrom", "/|cdrom"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added.back());
        cdsearchClear();
        for (const std::string& device : c.added) cdsearchAddDevice(device.c_str());
        EXPECT_EQ(deviceList("|"), c.expected);
    }
}

TEST_F(CatalogueTest, RemovingDevices) {
    for (const char* device : {"/dev/sr0", "/dev/sr1", "/dev/sr2", "/dev/sr3"}) {
        cdsearchAddDevice(device);
    }
    for (const char* absent : {"/dev/sr9", "/dev/SR1", "/dev/", "sr1"}) {
        cdsearchRemoveDevice(absent);
    }
    cdsearchRemoveDevice("/dev/sr1");
    EXPECT_EQ(deviceList("|"), (Strings{"/dev/|sr0", "/dev/|sr2", "/dev/|sr3"}));
    cdsearchRemoveDevice(1);
    cdsearchRemoveDevice(9);  // past the end: the last entry
    EXPECT_EQ(deviceList("|"), (Strings{"/dev/|sr0"}));
    cdsearchRemoveDevice(0);
    cdsearchRemoveDevice(0);
    EXPECT_EQ(cdsearchDeviceGet(0), nullptr);
}

TEST_F(CatalogueTest, LongDevicePathsStayWhole) {
    for (size_t length : {size_t(4095), size_t(10000)}) {
        std::string directory = "/" + std::string(length / 2, 'd') + "/";
        std::string name(length - directory.size(), 'n');
        cdsearchAddDevice((directory + name).c_str());
        cdsearchAddDevice((directory + name).c_str());
        ASSERT_EQ(cdsearchDeviceQuantity(), 1);
        EXPECT_EQ(cdsearchDeviceGet(0)->path, directory);
        EXPECT_EQ(cdsearchDeviceGet(0)->name, name);
        cdsearchRemoveDevice((directory + name).c_str());
        EXPECT_EQ(cdsearchDeviceQuantity(), 0);
    }
}

TEST_F(CatalogueTest, DirectoriesAreKeptExactlyAndOnce) {
    for (const char* directory : {"/games", "/games/", "/games", "/Games/", "/games/"}) {
        cdsearchAddDirectory(directory);
    }
    EXPECT_EQ(directoryList(), (Strings{"/games", "/games/", "/Games/"}));
    cdsearchRemoveDirectory("/GAMES");
    cdsearchRemoveDirectory("/games/");
    cdsearchRemoveDirectory(5);
    EXPECT_EQ(directoryList(), (Strings{"/games"}));

    cdsearchAddDevice("/dev/cdrom");
    cdsearchClear();
    EXPECT_EQ(cdsearchDeviceQuantity() + cdsearchDirectoryQuantity(), 0);
    EXPECT_EQ(cdsearchDirectoryGet(0), nullptr);
}

// Shutting down gives back every list handle init took, so starts never run
// out of them; an init short of handles says so, and the lists it did get
// still keep what is added to them.
TEST_F(CatalogueTest, ShutdownGivesBackItsListsAndAnInitShortOfThemSaysSo) {
    for (int i = 0; i < LINKED_LIST_HANDLES; ++i) {
        cdsearchShutdown();
        ASSERT_EQ(cdsearchInit(), 0) << i;
    }
    cdsearchShutdown();
    linkedListSystemShutdown();
    linkedListSystemInit();
    for (int i = 0; i < LINKED_LIST_HANDLES - 3; ++i) linkedListRegister(nullptr);
    EXPECT_EQ(cdsearchInit(), 1);
    cdsearchAddDevice("/dev/cdrom");
    cdsearchAddDirectory("/games/");
    EXPECT_EQ(deviceList("|"), (Strings{"/dev/|cdrom"}));
    EXPECT_EQ(directoryList(), (Strings{"/games/"}));
}

}  // namespace
