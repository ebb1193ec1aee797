#include "catalogue/cdlists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/linkedlist.h"
#include "support/testsupport.h"

using testsupport::deviceList;
using testsupport::directoryList;

namespace {

using Strings = std::vector<std::string>;

}  // namespace

// Snapshot, edit, restore gives back both lists byte for byte and in their
// order, from every kind of edit and from lists of any length (none included).
TEST(CdLists, RestoreUndoesAnyEditOfBothLists) {
    linkedListSystemInit();
    ASSERT_EQ(cdsearchInit(), 0);

    // Entries in no sorted order; bytes that are not UTF-8, spaces, case
    // twins, a device without a folder and folders with and without a '/'.
    const Strings devices = {
        "/dev/sr1",   "/dev/cdrom", "/dev/CDROM", "cdrom", "/media/disc \xff\xfe/drive",
        "/dev/cdrom/"};
    const Strings directories = {"/srv/images/", "/home/u/Games \xe9t\xe9/", "/a", "/A/",
                                 "relative/"};

    struct Case {
        const char* name;
        Strings devices;
        Strings directories;
        void (*edit)();
    };
    const Case cases[] = {
        {"both empty, then filled",
         {},
         {},
         [] {
             cdsearchAddDevice("/dev/sr0");
             cdsearchAddDirectory("/x/");
         }},
        {"both lists emptied", devices, directories,
         [] {
             while (cdsearchDeviceQuantity() > 0) cdsearchRemoveDevice(0);
             while (cdsearchDirectoryQuantity() > 0) cdsearchRemoveDirectory(0);
         }},
        {"first entries removed, others added", devices, directories,
         [] {
             cdsearchRemoveDevice(0);
             cdsearchRemoveDirectory(0);
             cdsearchAddDevice("/dev/sr9");
             cdsearchAddDirectory("/new/");
         }},
        {"middle entries removed and put back at the end", devices, directories,
         [] {
             cdsearchRemoveDevice("/dev/CDROM");
             cdsearchAddDevice("/dev/CDROM");
             cdsearchRemoveDirectory("/a");
             cdsearchAddDirectory("/a");
         }},
        {"only the devices edited", devices, directories, [] { cdsearchRemoveDevice("cdrom"); }},
        {"everything cleared", devices, directories, [] { cdsearchClear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cdsearchClear();
        for (const std::string& d : c.devices) cdsearchAddDevice(d.c_str());
        for (const std::string& d : c.directories) cdsearchAddDirectory(d.c_str());
        ASSERT_EQ(deviceList(), c.devices);
        ASSERT_EQ(directoryList(), c.directories);

        CdLists saved = cdlistsSnapshot();
        EXPECT_EQ(saved.devices, c.devices);
        EXPECT_EQ(saved.directories, c.directories);
        c.edit();
        cdlistsRestore(saved);
        EXPECT_EQ(deviceList(), c.devices);
        EXPECT_EQ(directoryList(), c.directories);
        // A second restore from the same copy changes nothing.
        cdlistsRestore(saved);
        EXPECT_EQ(deviceList(), c.devices);
        EXPECT_EQ(directoryList(), c.directories);
    }

    cdsearchShutdown();
    linkedListSystemShutdown();
}
