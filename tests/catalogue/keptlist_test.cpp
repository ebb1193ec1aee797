// The kept image list's file: its exact form, names that come back byte for
// byte, damaged files refused, and a replacement that is whole or not at all.
#include "catalogue/keptlist.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/testsupport.h"

using testsupport::folderEntries;
using testsupport::inChild;

namespace {

using Strings = std::vector<std::string>;
using List = std::vector<KeptFolder>;

// A list as one line per record, so that a difference shows where it lies.
Strings flat(const List& list) {
    Strings lines;
    for (const KeptFolder& f : list) {
        lines.push_back("F " + f.folder);
        for (const std::string& image : f.images) lines.push_back("I " + image);
    }
    return lines;
}

List readBack(const char* file = nullptr) {
    List list{{"stale", {}}};
    EXPECT_TRUE(keptlistRead(&list, file));
    return list;
}

// Written by hand from the form in keptlist.h; the literal's own terminator
// ends the end record.
const char kGolden[] = "discWren image list 1\nF/g/\0I/g/a.cue\0I/g/b\nc.ccd\0F/h\0E2 2";
const std::string golden(kGolden, sizeof kGolden);
const List goldenList = {{"/g/", {"/g/a.cue", "/g/b\nc.ccd"}}, {"/h", {}}};

class KeptList : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
};

TEST_F(KeptList, TheFormIsExactAndAnyNameComesBack) {
    std::string bytes;
    ASSERT_TRUE(keptlistSerialise(goldenList, &bytes));
    EXPECT_EQ(bytes, golden);

    std::string controls;
    for (char c = 1; c < 32; c++) controls += c;
    const List hostile = {
        {"/games/",
         {"/games/two\nlines.cue", "/games/" + controls + ".cue", "/games/\xff\xfe\x80\xe9.ccd",
          "/games/" + std::string(5000, 'x') + "/" + std::string(255, 'y') + ".cue",
          "/games/two\nlines.cue", "/games/E2 2"}},
        {"", {}},
        {"/odd\r\n dir\\", {"/odd\r\n dir\\F.toc"}}};
    List large(1);
    for (int i = 0; i < 100000; i++)
        large[0].images.push_back("/share/psx/library/" + std::to_string(i) + "/Disc.cue");
    for (const List& list : {hostile, large, List{}, goldenList}) {
        ASSERT_EQ(keptlistWrite(list), 0);
        EXPECT_EQ(flat(readBack()), flat(list));
    }
}

TEST_F(KeptList, DamagedOrForeignFilesAreRefused) {
    const std::string body = golden.substr(22);  // after the version line
    Strings bad = {"",
                   "discWren image list 2\n" + body,
                   "[cd selection]\ncdimgdir0 = /g/\n",
                   golden + "x",
                   golden.substr(0, golden.size() - 4) + "3 2" + '\0',   // wrong count
                   golden.substr(0, golden.size() - 4) + "02 2" + '\0',  // not the one form
                   golden.substr(0, 22) + "I/a.cue" + '\0' + "E0 1" + '\0',
                   golden.substr(0, 22) + "X/a" + '\0' + "E0 0" + '\0',
                   golden.substr(0, 22) + '\0' + "E0 0" + '\0'};
    for (size_t cut = 0; cut < golden.size(); cut++) bad.push_back(golden.substr(0, cut));
    for (const std::string& bytes : bad) {
        std::vector<char> exact(bytes.begin(), bytes.end());  // a sanitizer sees overreads
        List out = goldenList;
        EXPECT_FALSE(keptlistParse(exact.data(), exact.size(), &out)) << bytes;
        EXPECT_TRUE(out.empty());
    }
    // Absent, a folder, and a pipe, which must not block the reader.
    List out;
    mkdir("folder", 0755);
    mkfifo("pipe", 0644);
    for (const char* file : {"absent", "folder", "pipe"}) EXPECT_FALSE(keptlistRead(&out, file));
}

TEST_F(KeptList, AFailedWriteKeepsTheOldFileAndLeavesNothingBehind) {
    ASSERT_EQ(keptlistWrite(goldenList), 0);
    const List other = {{"/x/", {"/x/y.cue"}}};
    mkdir("folder", 0755);
    testsupport::writeFile("plain", "");
    EXPECT_EQ(keptlistWrite({{"/x/", {std::string("/x/a\0b", 6)}}}), -1);  // no path holds a NUL
    EXPECT_EQ(errno, EINVAL);
    for (const char* file : {"missing/discWren.images", "plain/discWren.images", "folder"})
        EXPECT_EQ(keptlistWrite(other, file), -1) << file;
    // A full disk stops the new file part-way.
    EXPECT_EQ(inChild([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  struct rlimit limit = {10, 10};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  return keptlistWrite(other) == -1 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(flat(readBack()), flat(goldenList));
    EXPECT_EQ(folderEntries(), (Strings{"discWren.images", "folder", "plain"}));
}

// Links named like the settings file and the kept list: the list lands here,
// in place of its link, and the targets are left as they were.
TEST_F(KeptList, WritesBesideTheNamesAndReplacesLinksNotTheirTargets) {
    mkdir("elsewhere", 0755);
    testsupport::writeFile("elsewhere/target", "keep");
    ASSERT_EQ(symlink("elsewhere/discWren.ini", "discWren.ini"), 0);
    ASSERT_EQ(symlink("elsewhere/target", "discWren.images"), 0);
    ASSERT_EQ(keptlistWrite(goldenList), 0);
    struct stat st;
    EXPECT_TRUE(lstat("discWren.images", &st) == 0 && S_ISREG(st.st_mode));
    EXPECT_EQ(testsupport::readFile("elsewhere/target"), "keep");
    EXPECT_EQ(folderEntries(), (Strings{"discWren.images", "discWren.ini", "elsewhere"}));
}

TEST_F(KeptList, TwoWritersAtOnceNeverShowHalfAFileNorLeaveTemporaryFiles) {
    List a(1), b = {{"/b/", {}}};
    for (int i = 0; i < 3000; i++) a[0].images.push_back("/a/" + std::to_string(i) + ".cue");
    const Strings flatA = flat(a), flatB = flat(b);
    ASSERT_EQ(keptlistWrite(a), 0);
    pid_t other = fork();
    if (other == 0) {
        for (int i = 0; i < 40; i++)
            if (keptlistWrite(a) != 0) _exit(1);
        _exit(0);
    }
    // This process writes the other list meanwhile; each read finds one list, whole.
    int failures = 0;
    for (int i = 0; i < 40; i++) {
        List seen;
        if (keptlistWrite(b) != 0 || !keptlistRead(&seen)) failures++;
        if (flat(seen) != flatA && flat(seen) != flatB) failures++;
    }
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(folderEntries(), Strings{"discWren.images"});
}

TEST_F(KeptList, SamenessIgnoresTheOrderOfImagesOnly) {
    const List base = {{"/a/", {"1", "2", "3"}}, {"/b/", {}}};
    EXPECT_TRUE(keptlistSame(base, {{"/a/", {"3", "1", "2"}}, {"/b/", {}}}));
    for (const List& other :
         {List{base[1], base[0]}, List{{"/a/", {"1", "1", "3"}}, base[1]},
          List{{"/a/", {"1", "2"}}, base[1]}, List{base[0], {"/b", {}}}, List{base[0]}})
        EXPECT_FALSE(keptlistSame(base, other));
}

}  // namespace
