// The kept image list's file: its exact form, names that come back byte for
// byte, damaged files refused, and a replacement that is whole or not at all.
#include "disc/keptlist.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

#include "clients/cdscan.h"
#include "helper/scan/keptlist_merge.h"
#include "helper/scan/keptlist_store.h"
#include "helper/serve.h"
#include "protocol/messages.h"
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
        for (const std::string& image : f.images) {
            lines.push_back("I " + image);
            auto kept = f.ids.find(image);
            if (kept == f.ids.end()) continue;
            const GameIdFiles& s = kept->second.files;
            lines.push_back("G " + kept->second.id);
            for (long long stamp :
                 {s.sheetSize, (long long)s.sheetTime.tv_sec, (long long)s.sheetTime.tv_nsec,
                  s.dataSize, (long long)s.dataTime.tv_sec, (long long)s.dataTime.tv_nsec})
                lines.back() += " " + std::to_string(stamp);
        }
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
const char kGolden[] =
    "discWren image list 2\nF/g/\0I/g/a.cue\0G2048 100 5 9408 -200 7 SLUS-00330\0I/g/b\nc.ccd\0"
    "G1 2 3 4 5 6 \0F/h\0E2 2";
const std::string golden(kGolden, sizeof kGolden);
const List goldenList = {{"/g/",
                          {"/g/a.cue", "/g/b\nc.ccd"},
                          {{"/g/a.cue", {"SLUS-00330", {2048, {100, 5}, 9408, {-200, 7}}}},
                           {"/g/b\nc.ccd", {"", {1, {2, 3}, 4, {5, 6}}}}}},
                         {"/h", {}}};
// The list as the first version wrote it, without IDs: still read.
const char kVersion1[] = "discWren image list 1\nF/g/\0I/g/a.cue\0I/g/b\nc.ccd\0F/h\0E2 2";
const List version1List = {{"/g/", {"/g/a.cue", "/g/b\nc.ccd"}}, {"/h", {}}};

// The kept list file's inode: a new one after each replacement; 0 for none.
ino_t inode() {
    struct stat st;
    return stat("discWren.images", &st) == 0 ? st.st_ino : 0;
}

class KeptList : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
};

TEST_F(KeptList, TheFormIsExactAndAnyNameComesBack) {
    std::string bytes;
    ASSERT_TRUE(keptlistSerialise(goldenList, &bytes));
    EXPECT_EQ(bytes, golden);
    List old;
    ASSERT_TRUE(keptlistParse(kVersion1, sizeof kVersion1, &old));
    EXPECT_EQ(flat(old), flat(version1List));

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
    const std::string head = golden.substr(0, 22) + "F/g/" + '\0' + "I/g/a" + '\0';
    Strings bad = {"", "discWren image list 3\n" + body, "[cd selection]\ncdimgdir0 = /g/\n",
                   golden + "x", golden.substr(0, golden.size() - 4) + "3 2" + '\0',  // wrong count
                   golden.substr(0, golden.size() - 4) + "02 2" + '\0',  // not the one form
                   golden.substr(0, 22) + "I/a.cue" + '\0' + "E0 1" + '\0',
                   golden.substr(0, 22) + "X/a" + '\0' + "E0 0" + '\0',
                   golden.substr(0, 22) + '\0' + "E0 0" + '\0',
                   // Records that cannot be images of their folder.
                   golden.substr(0, 22) + "F/g/" + '\0' + "I" + '\0' + "E1 1" + '\0',
                   golden.substr(0, 22) + "F/g/" + '\0' + "I/g/" + '\0' + "E1 1" + '\0',
                   golden.substr(0, 22) + "F/g/" + '\0' + "I/h/a.cue" + '\0' + "E1 1" + '\0',
                   golden.substr(0, 22) + "F/g/" + '\0' + "I/g" + '\0' + "E1 1" + '\0',
                   // ID records that follow no image, repeat one, or do not parse.
                   golden.substr(0, 22) + "G1 2 3 4 5 6 A" + '\0' + "E0 0" + '\0',
                   golden.substr(0, 22) + "F/g/" + '\0' + "G1 2 3 4 5 6 A" + '\0' + "E1 0" + '\0',
                   head + "G1 2 3 4 5 6 A" + '\0' + "G1 2 3 4 5 6 A" + '\0' + "E1 1" + '\0',
                   "discWren image list 1\nF/g/" + std::string(1, '\0') + "I/g/a" + '\0' +
                       "G1 2 3 4 5 6 A" + '\0' + "E1 1" + '\0',
                   head + "G1 2 3 4 5 A" + '\0' + "E1 1" + '\0',
                   head + "G1 2 3 4 5 x6 A" + '\0' + "E1 1" + '\0',
                   head + "G1  2 3 4 5 6 A" + '\0' + "E1 1" + '\0',
                   head + "G1 2 3 4 5 1234567890123456789 A" + '\0' + "E1 1" + '\0',
                   head + "G1 2 3 4 020 6 ZZZZ-99999" + '\0' + "E1 1" + '\0',
                   head + "G1 2 3 4 5 -0 ZZZZ-99999" + '\0' + "E1 1" + '\0',
                   // Counts no file of this size can hold.
                   golden.substr(0, 22) + "E0 99999999999999999999999" + '\0'};
    // IDs no disc gives: a line break, an escape, other shapes, 1 MB.
    for (const std::string& id : Strings{"SLUS-0033\n", "\x1b[2J-00330", "SLUS-0033", "SLUS-003300",
                                         "SLUS_00330", "slus-00330", "SLU1-00330", "SLUS-0033A",
                                         "SLUS-00330 ", std::string(1 << 20, 'A')})
        bad.push_back(head + "G1 2 3 4 5 6 " + id + '\0' + "E1 1" + '\0');
    for (size_t cut = 0; cut < golden.size(); cut++) bad.push_back(golden.substr(0, cut));
    const std::string sound = head + "G1 2 3 4 5 -6 ZZZZ-99999" + '\0' + "E1 1" + '\0';
    List one;
    EXPECT_TRUE(keptlistParse(sound.data(), sound.size(), &one));
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

// Damaged lists of some 16 MiB, each refused at no more than about twice its
// size: the child has that much address space left, and an allocation beyond
// it ends the child through the new handler.
TEST_F(KeptList, ADamagedListCostsAtMostTwiceItsSize) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's shadow memory fills the address space";
#endif
    const size_t many = size_t(8) << 20;
    auto times = [](size_t n, const std::string& record) {
        std::string bytes;
        bytes.reserve(n * record.size());
        for (size_t i = 0; i < n; i++) bytes += record;
        return bytes;
    };
    auto end = [](size_t folders, size_t images) {
        return "E" + std::to_string(folders) + " " + std::to_string(images) + '\0';
    };
    const std::string head = golden.substr(0, 22), root = std::string("F/") + '\0';
    const Strings files = {
        head + root + times(many, std::string("I") + '\0') + end(1, many),           // empty names
        head + root + times(many / 2, std::string("Ix") + '\0') + end(1, many / 2),  // not under /
        head + root + times(many / 2, std::string("I/x") + '\0') + end(1, 1),        // counts lie
        head + root + times(many / 2, std::string("I/x") + '\0'),                    // cut short
        head + times(many, std::string("F") + '\0') + end(many, 0)};  // folders galore
    for (const std::string& bytes : files) {
        testsupport::writeFile("discWren.images", bytes);
        EXPECT_EQ(inChild([&] {
                      std::set_new_handler([] { _exit(3); });
                      long pages = 0;
                      FILE* statm = fopen("/proc/self/statm", "r");
                      if (!statm || fscanf(statm, "%ld", &pages) != 1) return 4;
                      fclose(statm);
                      rlim_t room = rlim_t(pages) * sysconf(_SC_PAGESIZE) + 2 * bytes.size();
                      struct rlimit limit = {room, room};
                      if (setrlimit(RLIMIT_AS, &limit) != 0) return 5;
                      List out;
                      return keptlistRead(&out) ? 1 : 0;
                  }),
                  0)
            << bytes.substr(0, 40);
    }
}

TEST_F(KeptList, AFailedWriteKeepsTheOldFileAndLeavesNothingBehind) {
    ASSERT_EQ(keptlistWrite(goldenList), 0);
    const List other = {{"/x/", {"/x/y.cue"}}};
    testsupport::writeFile("folder/", "");
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

// Temporaries that ended writers left: those of the exact name form, regular
// and over an hour old go at the next write; a fresh one may be another
// machine's write in progress, and a link goes nowhere, nor does its target.
TEST_F(KeptList, AWriteSweepsOldTemporariesOnly) {
    const Strings old = {".discWren.images.1234.0", ".discWren.images.99.17"};
    const Strings kept = {".discWren.images.1234.1",  // fresh
                          ".discWren.images.1234",   ".discWren.images.1234.0.1",
                          ".discWren.images.12a.0",  ".discWren.images..0",
                          "x.discWren.images.1.2",   ".discWren.ini.1.2",
                          ".discWren.images.1.2.lnk"};
    testsupport::writeFile("elsewhere/target", "keep");
    for (const std::string& name : old) testsupport::writeFile(name, "");
    for (const std::string& name : kept) testsupport::writeFile(name, "");
    ASSERT_EQ(symlink("elsewhere/target", ".discWren.images.5.5"), 0);
    mkdir(".discWren.images.6.6", 0755);
    const struct timeval hoursAgo[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    for (const std::string& name : old) utimes(name.c_str(), hoursAgo);
    for (size_t i = 1; i < kept.size(); i++) utimes(kept[i].c_str(), hoursAgo);
    for (const char* name : {".discWren.images.5.5", "elsewhere/target", ".discWren.images.6.6"})
        lutimes(name, hoursAgo);

    ASSERT_EQ(keptlistWrite(goldenList), 0);
    Strings expected = kept;
    expected.insert(expected.end(), {".discWren.images.5.5", ".discWren.images.6.6",
                                     "discWren.images", "elsewhere"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderEntries(), expected);
    EXPECT_EQ(testsupport::readFile("elsewhere/target"), "keep");
}

// After a read, folders read whole give their images, the others keep the
// file's entry or have none; the file is replaced only when that differs.
TEST_F(KeptList, KeepingTakesUnreadFoldersFromTheFileAndWritesOnlyChanges) {
    const List held = {{"/a/", {"/a/1.cue"}}, {"/b/", {"/b/1.cue"}}, {"/c/", {"/c/1.cue"}}};
    const List read = {{"/c/", {"/c/2.cue"}}, {"/b/", {}}, {"/d/", {}}, {"/a/", {"/a/1.cue"}}};
    const std::vector<bool> complete = {true, false, false, true};
    const List expected = {{"/c/", {"/c/2.cue"}}, {"/b/", {"/b/1.cue"}}, {"/a/", {"/a/1.cue"}}};
    ASSERT_EQ(keptlistWrite(held), 0);
    EXPECT_EQ(keptlistKeep(read, complete), 1);
    EXPECT_EQ(flat(readBack()), flat(expected));
    const ino_t written = inode();
    EXPECT_EQ(keptlistKeep(read, complete), 0);
    EXPECT_EQ(keptlistKeep({}, {}), 0);
    EXPECT_EQ(inode(), written);
    // A damaged file is replaced even by a read that finds nothing.
    testsupport::writeFile("discWren.images", golden.substr(0, 30));
    EXPECT_EQ(keptlistKeep({{"/b/", {}}}, {false}), 1);
    EXPECT_EQ(flat(readBack()), Strings{});
    EXPECT_EQ(keptlistKeep({{"/b/", {}}}, {true}, "missing/discWren.images"), -1);
}

// A read keeps the IDs of the images still there; IDs handed in go to the
// images listed only, and the file is written only when they change it.
TEST_F(KeptList, IdsStayWithTheirImagesAndEnterOnlyListedOnes) {
    const KeptId one{"SLUS-00001", {1, {2, 3}, 4, {5, 6}}}, two{"SLUS-00002", {}};
    const KeptId three{"", {7, {8, 9}, 10, {11, 12}}};
    EXPECT_EQ(keptlistKeepIds({{"/a/1.cue", one}}), 0) << "no list to keep them in";
    ASSERT_EQ(
        keptlistWrite({{"/a/", {"/a/1.cue", "/a/2.cue"}, {{"/a/1.cue", one}, {"/a/2.cue", two}}}}),
        0);
    EXPECT_EQ(keptlistKeep({{"/a/", {"/a/1.cue", "/a/3.cue"}}}, {true}), 1);
    EXPECT_EQ(flat(readBack()), flat({{"/a/", {"/a/1.cue", "/a/3.cue"}, {{"/a/1.cue", one}}}}));

    EXPECT_EQ(keptlistKeepIds({{"/a/3.cue", three}, {"/b/x.cue", two}, {"/a/2.cue", two}}), 1);
    const List both = {{"/a/", {"/a/1.cue", "/a/3.cue"}, {{"/a/1.cue", one}, {"/a/3.cue", three}}}};
    EXPECT_EQ(flat(readBack()), flat(both));
    const ino_t written = inode();
    EXPECT_EQ(keptlistKeepIds({{"/a/3.cue", three}}), 0);
    EXPECT_EQ(keptlistKeep({{"/a/", {"/a/3.cue", "/a/1.cue"}}}, {true}), 0);
    EXPECT_EQ(inode(), written);
    KeptId moved = one;
    moved.files.dataTime.tv_nsec++;
    EXPECT_EQ(keptlistKeepIds({{"/a/1.cue", moved}}), 1);
    EXPECT_EQ(readBack()[0].ids.at("/a/1.cue"), moved);
    // An ID no disc gives is neither entered nor written; a forgotten one goes.
    const KeptId odd{"SLUS-00001\n", {}};
    EXPECT_EQ(keptlistKeepIds({{"/a/1.cue", odd}}), 0);
    ASSERT_EQ(keptlistWrite(
                  {{"/a/", {"/a/1.cue", "/a/3.cue"}, {{"/a/1.cue", moved}, {"/a/3.cue", odd}}}}),
              0);
    EXPECT_EQ(flat(readBack()), flat({{"/a/", {"/a/1.cue", "/a/3.cue"}, {{"/a/1.cue", moved}}}}));
    EXPECT_EQ(keptlistKeepIds({{"/a/1.cue", std::nullopt}, {"/a/3.cue", std::nullopt}}), 1);
    EXPECT_EQ(flat(readBack()), flat({{"/a/", {"/a/1.cue", "/a/3.cue"}}}));
    EXPECT_EQ(keptlistKeepIds({{"/a/1.cue", std::nullopt}}), 0);
}

// Through the dialog's side and a real scan helper: IDs forgotten leave the
// list in turn with IDs kept, however many frames they take, and an ID no
// disc gives is not sent.
TEST_F(KeptList, IdsForgottenThroughTheScanHelperLeaveTheList) {
    List list(1);
    list[0].folder = "/g/";
    const KeptId one{"SLUS-00001", {1, {2, 3}, 4, {5, 6}}}, two{"SLUS-00002", {}};
    for (int i = 0; i < 600; i++) {  // some 2 MB of forgotten names
        list[0].images.push_back("/g/" + std::string(3000, 'n') + std::to_string(i) + ".cue");
        list[0].ids[list[0].images.back()] = one;
    }
    ASSERT_EQ(keptlistWrite(list), 0);
    const Strings& images = list[0].images;
    cdscanKeepIds({{images[0], two}, {images[1], two}});
    cdscanForgetIds(Strings(images.begin(), images.end() - 1));
    cdscanKeepIds(
        {{images[1], {"SCES-00003", {9, {}, 0, {}}}}, {images.back(), {"SLUS-0002\n", {}}}});
    cdscanWait(60000);
    cdscanStop();
    const List back = readBack();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].images, images);
    Strings left;  // the number of each image that keeps an ID, with it and its sheet's size
    for (size_t i = 0; i < images.size(); i++)
        if (auto kept = back[0].ids.find(images[i]); kept != back[0].ids.end())
            left.push_back(std::to_string(i) + " " + kept->second.id + " " +
                           std::to_string(kept->second.files.sheetSize));
    EXPECT_EQ(left, (Strings{"1 SCES-00003 9", "599 SLUS-00001 1"}));
}

// A scan helper of its own, serving requests on a socket as the dialog's does.
class ScanHelper {
public:
    ScanHelper() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(ends[0]);
            helperServe(ends[1], HELPER_SCAN);
            _exit(0);
        }
        close(ends[1]);
        fd = ends[0];
    }
    ~ScanHelper() {
        close(fd);
        waitpid(pid, nullptr, 0);
    }
    // Reads folders again from the working folder; true once the answer came.
    bool scan(const Strings& folders) {
        int here = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        bool sent = helperSendAll(fd, encode(ScanRequest{++number, true, folders}), here);
        close(here);
        if (!sent) return false;
        HelperMessage kind;
        std::string fields;
        while (helperReceive(fd, &kind, &fields))
            if (kind == SCAN_MSG_DONE) return true;
        return false;
    }

private:
    int fd = -1;
    pid_t pid = -1;
    uint32_t number = 0;
};

// Two dialogs of one folder: each one's scan leaves the file holding what it
// read, whatever the other wrote since its own last write.
TEST_F(KeptList, EachScanKeepsWhatItReadWhateverAnotherWroteMeanwhile) {
    testsupport::writeFile("lib/a.cue", "");
    ScanHelper first, second;
    ASSERT_TRUE(first.scan({"lib/"}));
    testsupport::writeFile("lib/b.cue", "");
    ASSERT_TRUE(second.scan({"lib/"}));
    EXPECT_EQ(readBack()[0].images.size(), 2u);
    unlink("lib/b.cue");
    ASSERT_TRUE(first.scan({"lib/"}));
    EXPECT_EQ(flat(readBack()), flat({{"lib/", {"lib/a.cue"}}}));
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
