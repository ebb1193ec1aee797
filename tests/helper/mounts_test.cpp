// The mount table parser on lines as the kernel writes them and on damaged
// ones, and the watch on the table.
#include "helper/scan/mounts.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "support/testsupport.h"

namespace {

TEST(MountInfo, IdsAndMountPointsWithEscapesDecoded) {
    using Points = std::vector<std::pair<int, std::string>>;
    const std::string tail = " rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    struct Case {
        std::string text;
        Points expected;
    } cases[] = {
        {"22 1 8:1 / /" + tail, {{22, "/"}}},
        {"36 22 0:31 / /mnt/My\\040Games" + tail, {{36, "/mnt/My Games"}}},
        {"37 22 0:32 / /a\\011b\\012c\\134d" + tail, {{37, "/a\tb\nc\\d"}}},
        {"38 22 0:33 / /x\\377\\000y" + tail, {{38, std::string("/x\xff\0y", 5)}}},
        // Not escapes: too short, not octal, above one byte; a trailing backslash.
        {"39 22 0:34 / /p\\04" + tail, {{39, "/p\\04"}}},
        {"40 22 0:35 / /p\\089\\400\\" + tail, {{40, "/p\\089\\400\\"}}},
        // Lines without five fields or a numeric id are left out; others stay.
        {"41 22 0:36 /\n42 22 0:37 / /kept\nx 22 0:38 / /no\n\n  43  22 0:39 / /spaced",
         {{42, "/kept"}, {43, "/spaced"}}},
        {"99999999999 1 0:1 / /huge\n-1 1 0:1 / /negative\n", {}},
        {std::string("44 1 \0\xff / /bytes\0\xfe", 18), {{44, std::string("/bytes\0\xfe", 8)}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        Points got;
        for (const catalogue::Mount& mount : catalogue::parseMountInfo(c.text))
            got.push_back({mount.id, mount.point});
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

// A change the kernel flags while the table cannot be read is reported by
// the next call that can read it.
TEST(MountWatch, AChangeOutlivesAFailedRead) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    struct FlakyWatch : catalogue::MountWatch {
        bool fail = false;
        bool readTable(std::vector<catalogue::Mount>& into) override {
            return !fail && MountWatch::readTable(into);
        }
    } watch;
    testsupport::ScratchDir scratch;
    char point[PATH_MAX];
    ASSERT_TRUE(realpath(scratch.path().c_str(), point));
    ASSERT_EQ(mount("none", point, "tmpfs", 0, nullptr), 0) << strerror(errno);
    watch.fail = true;
    EXPECT_EQ(watch.changed(), std::vector<std::string>{});
    watch.fail = false;
    EXPECT_EQ(watch.changed(), std::vector<std::string>{point});
    EXPECT_EQ(watch.changed(), std::vector<std::string>{});
    umount2(point, MNT_DETACH);
}

}  // namespace
