// Game IDs read from real discs made by genisoimage: every BOOT spelling,
// every sheet and sector layout, discs and files without an ID, the drive's
// status, and a loop device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <map>
#include <random>

#include "clients/spawn.h"
#include "helper/discid/gameid_confine.h"
#include "helper/discid/gameid_isofs.h"
#include "helper/discid/gameid_reader.h"
#include "protocol/messages.h"
#include "support/discs.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::attachLoop;
using testsupport::inChild;
using testsupport::Layout;
using testsupport::readFile;
using testsupport::silence;
using testsupport::wrapSectors;
using testsupport::writeFile;

namespace {

const char kBoot[] =
    "BOOT = cdrom:\\SLUS_003.30;1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFFF0\r\n";

// A disc whose SYSTEM.CNF holds cnf (none when null) beside a boot file;
// made once per text.
const std::string& disc(const char* cnf = kBoot) {
    static std::map<std::string, std::string> made;
    std::string key = cnf ? cnf : std::string("\0", 1);
    auto found = made.find(key);
    if (found != made.end()) return found->second;
    testsupport::DiscFiles files{{"SLUS_003.30", std::string(4096, 'x')}};
    if (cnf)
        files.push_back({"SYSTEM.CNF", cnf});
    else
        files.push_back({"PSX.EXE", std::string(4096, 'x')});
    std::string iso = testsupport::makeIso(files);
    EXPECT_GT(iso.size(), 32768u) << "genisoimage made no disc";
    return made[key] = iso;
}

std::string raw2() { return wrapSectors(disc(), Layout::Mode2Raw); }

// Random bytes that hold no file system.
std::string garbage(size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random());
    return bytes;
}

using Files = std::vector<std::pair<std::string, std::string>>;

class GameIdTest : public ::testing::Test {
protected:
    void SetUp() override { gameidPrepareReader(0); }

    // Writes files, reads the image at sheet; the result and the ID.
    std::pair<GameIdResult, std::string> read(const Files& files, const std::string& sheet,
                                              GameIdFiles* noted = nullptr) {
        for (const auto& file : files) writeFile(file.first, file.second);
        std::string id = "stale";
        GameIdResult result = gameidReadImage(sheet, &id, noted);
        for (const auto& file : files) unlink(file.first.c_str());
        return {result, id};
    }

    testsupport::ScratchDir scratch_;
};

TEST_F(GameIdTest, BootLineSpellings) {
    const struct {
        std::string text;
        const char* id;
    } cases[] = {
        {kBoot, "SLUS-00330"},
        {"boot = cdrom:\\slus_003.30;1\n", "SLUS-00330"},
        {"BOOT=cdrom:SCES_012.34;1", "SCES-01234"},
        {"BOOT = cdrom:\\\\SCUS_944.26;1\n", "SCUS-94426"},
        {"  BOOT\t=\tcdrom0:\\SLPS_012.34;1\n", "SLPS-01234"},
        {"BOOT = cdrom:\\SLES_123.45;1 arg1 c:\\x\n", "SLES-12345"},
        {"VMODE = PAL\nBOOT = cdrom:\\GAME\\SLPM_861.23;1\r\n", "SLPM-86123"},
        {"BOOT = cdrom:\\SLUS-00330;1\n", "SLUS-00330"},
        {"BOOT = cdrom:\\SLUS_003.30\n", "SLUS-00330"},
        {"BOOT = cdrom:\\SLUS_003.30\rTCB = 4\r", "SLUS-00330"},
        {"BOOT2 = cdrom0:\\SLUS_203.12;1\n", ""},
        {"BOOT = cdrom:\\PSX.EXE;1\n", ""},
        {"BOOT = cdrom:\\SLU_003.30;1\n", ""},
        {"BOOT = cdrom:\\SLUS_0033.01;1\n", ""},
        {"BOOT = cdrom:\\1LUS_003.30;1\n", ""},
        {"REBOOT = cdrom:\\SLUS_003.30;1\n", ""},
        {"BOOT cdrom:\\SLUS_003.30;1\n", ""},
        {"", ""},
        {std::string("BOOT = cdrom:\\SLUS_003\0.30;1\n", 30), ""},
        {garbage(5000), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gameidFromSystemCnf(c.text.data(), c.text.size()), c.id) << c.text;
}

// Every sheet and sector layout gives the disc's ID, and the sizes of the
// files it came from.
TEST_F(GameIdTest, SheetsAndLayouts) {
    const std::string cue2352 =
        "FILE \"Game.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    const std::string cueMode =
        "FILE \"Game.bin\" BINARY\r\n  TRACK 01 %s\r\n    INDEX 01 00:00:00\r\n";
    auto cueOf = [&](const char* mode) {
        std::string text = cueMode;
        return text.replace(text.find("%s"), 2, mode);
    };
    const struct {
        const char* what;
        Files files;  // the sheet first, then the data files
    } cases[] = {
        {"cue, cooked", {{"Game.cue", cueOf("MODE1/2048")}, {"Game.bin", disc()}}},
        {"cue, mode 1 raw",
         {{"Game.cue", cueOf("MODE1/2352")}, {"Game.bin", wrapSectors(disc(), Layout::Mode1Raw)}}},
        {"cue, mode 2 raw", {{"Game.cue", cue2352}, {"Game.bin", raw2()}}},
        {"cue, 2336",
         {{"Game.cue", cueOf("MODE2/2336")},
          {"Game.bin", wrapSectors(disc(), Layout::Mode2Form1)}}},
        {"cue, CD-i", {{"Game.cue", cueOf("CDI/2352")}, {"Game.bin", raw2()}}},
        {"cue, subchannel after raw sectors",
         {{"Game.cue", cue2352}, {"Game.bin", wrapSectors(disc(), Layout::Mode2RawSub)}}},
        {"cue, one file per track",
         {{"Game.cue",
           "FILE \"Game (Track 1).bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:00:00\n"
           "FILE \"Game (Track 2).bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 00 00:00:00\n"
           "  INDEX 01 00:02:00\n"},
          {"Game (Track 1).bin", raw2()},
          {"Game (Track 2).bin", silence(300)}}},
        {"cue, a name with blanks unquoted",
         {{"Game.cue",
           "FILE Game (Europe) (Track 1).bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"},
          {"Game (Europe) (Track 1).bin", raw2()}}},
        {"cue from another system",
         {{"Game.cue",
           "FILE \"D:\\Rips\\GAME.BIN\" BINARY\n TRACK 1 MODE2/2352\n INDEX 1 00:00:00\n"},
          {"game.bin", raw2()}}},
        {"cue, other letter case", {{"game.CUE", cue2352}, {"GAME.bin", raw2()}}},
        {"cue, pregap in the file",
         {{"Game.cue",
           "FILE Game.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 00 00:00:00\nINDEX 01 00:02:00\n"},
          {"Game.bin", silence(150) + raw2()}}},
        {"cue, data after audio",
         {{"Game.cue",
           "FILE \"Game.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
           "TRACK 02 MODE1/2352\nINDEX 01 00:04:00\n"},
          {"Game.bin", silence(300) + wrapSectors(disc(), Layout::Mode1Raw)}}},
        {"ccd", {{"Game.ccd", "[CloneCD]\nVersion=3\n"}, {"Game.IMG", raw2()}}},
        {"mds with subchannel",
         {{"Game.mds", garbage(300)}, {"Game.mdf", wrapSectors(disc(), Layout::Mode2RawSub)}}},
        {"mds", {{"Game.MDS", garbage(300)}, {"Game.MDF", raw2()}}},
        {"toc, raw",
         {{"Game.toc", "CD_ROM_XA\n\nTRACK MODE2_RAW\nDATAFILE \"Game.bin\" 70:00:00\n"},
          {"Game.bin", raw2()}}},
        {"toc, cooked",
         {{"Game.toc", "TRACK MODE1\nDATAFILE \"Game.iso\"\n"}, {"Game.iso", disc()}}},
        {"toc, 2336 at an offset",
         {{"Game.toc", "TRACK MODE2_FORM_MIX\nDATAFILE \"Game.bin\" #2336\n"},
          {"Game.bin", silence(1, 2336) + wrapSectors(disc(), Layout::Mode2Form1)}}},
        {"toc, raw with subchannel",
         {{"Game.toc", "// made by hand\nTRACK MODE2_RAW RW_RAW\nDATAFILE \"Game.bin\"\n"},
          {"Game.bin", wrapSectors(disc(), Layout::Mode2RawSub)}}},
        {"toc, data at an offset after audio",
         {{"Game.toc",
           "CD_DA\nTRACK AUDIO\nFILE \"Game.bin\" 0 00:02:00\n"
           "TRACK MODE1_RAW\nDATAFILE \"Game.bin\" #352800 // after the audio\n"},
          {"Game.bin", silence(150) + wrapSectors(disc(), Layout::Mode1Raw)}}},
        {"toc, START after a pregap",
         {{"Game.toc", "TRACK MODE2_RAW\nDATAFILE \"Game.bin\"\nSTART 00:02:00\n"},
          {"Game.bin", silence(150) + raw2()}}},
        {"toc, cooked at an offset",
         {{"Game.toc", "TRACK MODE1\nDATAFILE \"Game.bin\" #4096\n"},
          {"Game.bin", silence(2, 2048) + disc()}}},
        {"plain image", {{"Game.iso", disc()}}},
        {"Rock Ridge", {{"Game.iso", testsupport::makeIso({{"SYSTEM.CNF", kBoot}}, true)}}},
    };
    for (const auto& c : cases) {
        GameIdFiles noted;
        auto got = read(c.files, c.files.front().first, &noted);
        EXPECT_EQ(got.first, GAMEID_FOUND) << c.what;
        EXPECT_EQ(got.second, "SLUS-00330") << c.what;
        EXPECT_EQ(noted.sheetSize, (long long)c.files.front().second.size()) << c.what;
        EXPECT_EQ(noted.dataSize, (long long)c.files[c.files.size() > 1].second.size()) << c.what;
        EXPECT_NE(noted.dataTime.tv_sec, 0) << c.what;
    }
}

// Discs and files without an ID, and sheets whose data cannot be read.
TEST_F(GameIdTest, NoId) {
    const std::string cue = "FILE \"Game.bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n";
    const std::string tocAt = "TRACK MODE2_RAW\nDATAFILE \"Game.bin\" #2352\n";
    // The root folder's record: far past the end of the disc, and 2 GB long.
    std::string broken = raw2();
    broken.replace(16 * 2352 + 24 + 156 + 2, 16, 16, '\x7f');
    const struct {
        const char* what;
        Files files;
        std::string sheet;
        GameIdResult result;
    } cases[] = {
        {"a second-generation disc",
         {{"Game.cue", cue},
          {"Game.bin", wrapSectors(disc("BOOT2 = cdrom0:\\SLUS_203.12;1\n"), Layout::Mode2Raw)}},
         "Game.cue",
         GAMEID_NONE},
        {"an early disc without SYSTEM.CNF",
         {{"Game.cue", cue}, {"Game.bin", wrapSectors(disc(nullptr), Layout::Mode2Raw)}},
         "Game.cue",
         GAMEID_NONE},
        {"a boot file of another shape",
         {{"Game.cue", cue},
          {"Game.bin", wrapSectors(disc("BOOT = cdrom:\\MAIN.EXE;1\n"), Layout::Mode2Raw)}},
         "Game.cue",
         GAMEID_NONE},
        {"an executable", {{"PSX.EXE", garbage(4096)}}, "PSX.EXE", GAMEID_NONE},
        {"garbage data",
         {{"Game.cue", cue}, {"Game.bin", garbage(200000)}},
         "Game.cue",
         GAMEID_NONE},
        {"garbage data at an offset",
         {{"Game.toc", tocAt}, {"Game.bin", garbage(200000)}},
         "Game.toc",
         GAMEID_NONE},
        {"a broken root folder",
         {{"Game.cue", cue}, {"Game.bin", broken}},
         "Game.cue",
         GAMEID_NONE},
        {"a broken root folder at an offset",
         {{"Game.toc", tocAt}, {"Game.bin", silence(1) + broken}},
         "Game.toc",
         GAMEID_NONE},
        {"a file that is not a disc", {{"notes.iso", "not a disc\n"}}, "notes.iso", GAMEID_NONE},
        {"a disc cut short",
         {{"Game.cue", cue}, {"Game.bin", raw2().substr(0, 17 * 2352)}},
         "Game.cue",
         GAMEID_NONE},
        {"a missing data file", {{"Game.cue", cue}}, "Game.cue", GAMEID_UNREADABLE},
        {"a missing sheet", {}, "Game.cue", GAMEID_UNREADABLE},
        {"a missing .mdf", {{"Game.mds", "x"}}, "Game.mds", GAMEID_UNREADABLE},
        {"a sheet without data tracks",
         {{"Game.cue", "FILE \"Game.bin\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"},
          {"Game.bin", raw2()}},
         "Game.cue",
         GAMEID_UNREADABLE},
        {"a sheet naming a folder",
         {{"Game.toc", "TRACK MODE1\nDATAFILE \".\"\n"}},
         "Game.toc",
         GAMEID_UNREADABLE},
    };
    for (const auto& c : cases) {
        auto got = read(c.files, c.sheet);
        EXPECT_EQ(got.first, c.result) << c.what;
        EXPECT_EQ(got.second, "") << c.what;
    }
}

// A both-endian 32-bit field's bytes.
std::string both(uint32_t value) {
    std::string bytes(8, '\0');
    for (int i = 0; i < 4; i++) bytes[i] = bytes[7 - i] = char(value >> 8 * i);
    return bytes;
}

// Crafted file systems, on the library's layouts and the narrow reader's:
// whatever the volume descriptor and the root folder's records say, a read
// stays within its buffers (the sanitizer build checks) and finds no ID.
TEST_F(GameIdTest, CraftedFileSystems) {
    const std::string& sound = disc();
    const size_t root = 16 * 2048 + 156;
    const size_t folder = size_t(uint8_t(sound[root + 2]) | uint8_t(sound[root + 3]) << 8) * 2048;
    const size_t cnf = sound.find("SYSTEM.CNF;1", folder) - 33;
    ASSERT_LT(cnf, folder + 2048);
    const struct {
        const char* what;
        size_t at;  // written over the disc's bytes there
        std::string bytes;
    } cases[] = {
        {"a root folder of 4 GiB less 2047", root + 10, both(0xfffff801)},
        {"a root folder of 4 GiB less 1", root + 10, both(0xffffffff)},
        {"a root folder past the end", root + 2, both(0x7ffffff0)},
        {"a root record's halves that differ", root + 13, "\x7f"},
        {"a root record 255 bytes long", root, "\xff"},
        {"a record's name past its end", cnf + 32, "\xf0"},
        {"a record across its block's end", folder + 2047, "\x30"},
        {"a file in several extents", cnf + 25, "\x80"},
        // SYSTEM.CNF;1 is 12 bytes: a pad byte, then the system use area at 46.
        {"a system use entry past its record", cnf,
         "\x32" + sound.substr(cnf + 1, 45) + "NM\xf0\x01"},
        {"SYSTEM.CNF past the end", cnf + 2, both(0x7ffffff0)},
    };
    for (const auto& c : cases) {
        std::string iso = sound;
        iso.replace(c.at, c.bytes.size(), c.bytes);
        const struct {
            const char* layout;
            Files files;
        } layouts[] = {
            {"plain", {{"Game.iso", iso}}},
            {"raw",
             {{"Game.cue", "FILE Game.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"},
              {"Game.bin", wrapSectors(iso, Layout::Mode2Raw)}}},
            {"at an offset",
             {{"Game.toc", "TRACK MODE1\nDATAFILE \"Game.bin\" #4096\n"},
              {"Game.bin", silence(2, 2048) + iso}}},
            {"subchannel",
             {{"Game.toc", "TRACK MODE2_RAW\nDATAFILE \"Game.bin\"\n"},
              {"Game.bin", wrapSectors(iso, Layout::Mode2RawSub)}}},
        };
        for (const auto& l : layouts) {
            auto got = read(l.files, l.files.front().first);
            EXPECT_EQ(got.first, GAMEID_NONE) << c.what << ", " << l.layout;
            EXPECT_EQ(got.second, "") << c.what << ", " << l.layout;
        }
    }
}

// The narrow reader and libiso9660 on the same discs, in every layout both
// read (the library knows no 2448-byte sectors): the same SYSTEM.CNF, or none.
TEST_F(GameIdTest, NarrowReaderMatchesLibrary) {
    std::string halvesDiffer = disc();
    halvesDiffer[16 * 2048 + 156 + 13] = '\x7f';  // the root folder's size
    const struct {
        const char* what;
        std::string iso;
        Search found;
        const char* id;
    } discs[] = {
        {"a disc with an ID", disc(), Search::FOUND, "SLUS-00330"},
        {"Rock Ridge", testsupport::makeIso({{"SYSTEM.CNF", kBoot}}, true), Search::FOUND,
         "SLUS-00330"},
        {"a second-generation disc", disc("BOOT2 = cdrom0:\\SLUS_203.12;1\n"), Search::FOUND, ""},
        {"a boot file of another shape", disc("BOOT = cdrom:\\MAIN.EXE;1\n"), Search::FOUND, ""},
        {"no SYSTEM.CNF", disc(nullptr), Search::MISSING, ""},
        {"a root record's halves that differ", halvesDiffer, Search::MISSING, ""},
        {"no file system", garbage(200000), Search::MISSING, ""},
    };
    const struct {
        const char* name;
        Layout layout;
        int sectorSize;
    } layouts[] = {{"cooked", Layout::Cooked, 2048},
                   {"mode 1 raw", Layout::Mode1Raw, 2352},
                   {"mode 2 raw", Layout::Mode2Raw, 2352},
                   {"2336", Layout::Mode2Form1, 2336}};
    for (const auto& d : discs)
        for (const auto& l : layouts) {
            const std::string what = std::string(d.what) + ", " + l.name;
            writeFile("disc.bin", wrapSectors(d.iso, l.layout));
            std::string byLibrary = "stale", narrow = "stale";
            Search library = systemCnfByLibrary("disc.bin", &byLibrary);
            int fd = open("disc.bin", O_RDONLY | O_CLOEXEC);
            Search found = TrackReader(fd, 0, l.sectorSize).systemCnf(&narrow);
            close(fd);
            EXPECT_EQ(found, d.found) << what;
            EXPECT_EQ(library, found) << what;
            if (found != Search::FOUND || library != Search::FOUND) continue;
            EXPECT_EQ(narrow, byLibrary) << what;
            EXPECT_EQ(gameidFromSystemCnf(narrow.data(), narrow.size()), d.id) << what;
        }
}

TEST_F(GameIdTest, DriveStatus) {
    const struct {
        int status;
        GameIdResult result;
    } cases[] = {
        {CDS_DISC_OK, GAMEID_FOUND},
        {CDS_NO_INFO, GAMEID_FOUND},
        {CDS_NO_DISC, GAMEID_NO_DISC},
        {CDS_TRAY_OPEN, GAMEID_NO_DISC},
        {CDS_DRIVE_NOT_READY, GAMEID_UNREADABLE},
        {-1, GAMEID_UNREADABLE},
        {99, GAMEID_UNREADABLE},
    };
    for (const auto& c : cases) EXPECT_EQ(gameidDriveStatus(c.status), c.result) << c.status;

    // Neither a drive nor a disc: never read (a FIFO would block the reader);
    // no drive at all.
    mkdir("folder", 0700);
    writeFile("file", "x");
    const struct {
        const char* device;
        GameIdResult result;
    } devices[] = {
        {"/dev/zero", GAMEID_UNREADABLE},      {"folder", GAMEID_UNREADABLE},
        {"/nonexistent/sr0", GAMEID_NO_DRIVE}, {"/dev/sr-none", GAMEID_NO_DRIVE},
        {"file/sr0", GAMEID_NO_DRIVE},
    };
    for (const auto& d : devices) {
        std::string id = "stale";
        EXPECT_EQ(gameidReadDevice(d.device, &id), d.result) << d.device;
        EXPECT_EQ(id, "") << d.device;
    }
}

// A loop device is no drive: its blocks are read as an image's.
TEST_F(GameIdTest, LoopDevice) {
    writeFile("disc.iso", disc());
    std::string why, device = attachLoop("disc.iso", &why);
    if (device.empty()) GTEST_SKIP() << why;
    std::string id;
    GameIdResult result = gameidReadDevice(device, &id);
    EXPECT_EQ(system(("losetup -d " + device).c_str()), 0);
    EXPECT_EQ(result, GAMEID_FOUND);
    EXPECT_EQ(id, "SLUS-00330");

    // Detached, it has no disc (unless another test took it meanwhile).
    result = gameidReadDevice(device, &id);
    if (system(("losetup " + device + " >/dev/null 2>&1").c_str()) == 0)
        GTEST_SKIP() << device << " was attached again meanwhile";
    EXPECT_EQ(result, GAMEID_NO_DISC);
}

// An ID reader as the dialog runs it: the helper, with discs in folder.
class GameIdHelperTest : public GameIdTest {
protected:
    void SetUp() override {
        GameIdTest::SetUp();
        int pidfd;
        fd_ = helperSpawn(HELPER_GAMEID, &pidfd, &pid_);
        ASSERT_GE(fd_, 0);
        close(pidfd);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    }
    void TearDown() override {
        if (fd_ >= 0) close(fd_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }

    // The helper's answer for disc, a name in the working folder; false when
    // the helper ended instead.
    bool ask(const std::string& disc, int* result, std::string* id,
             GameIdHow how = GAMEID_HOW_IMAGE) {
        int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        bool sent = helperSendAll(fd_, encode(GameIdRequest{how, disc, {}}), folder);
        close(folder);
        HelperMessage kind;
        std::string fields;
        if (!sent || !helperReceive(fd_, &kind, &fields)) return false;
        HelperReader in(fields.data(), fields.size());
        GameIdAnswer answer;
        if (kind != GameIdAnswer::KIND || !decode(in, &answer)) return false;
        *result = answer.result;
        *id = answer.id;
        return true;
    }

    // How the helper ended: its wait status.
    int ending() {
        int status = 0;
        close(fd_), fd_ = -1;
        EXPECT_EQ(waitpid(pid_, &status, 0), pid_);
        pid_ = -1;
        return status;
    }

    int fd_ = -1;
    pid_t pid_ = -1;
};

// A read that fails is "cannot be read", never "no ID": on a share whose
// data file gives I/O errors, through each reader, and through the helper.
TEST_F(GameIdHelperTest, FailedReadsAreUnreadable) {
    std::string why;
    if (!testsupport::SlowFs::available(&why)) GTEST_SKIP() << why;
    mkdir("share", 0755);
    testsupport::SlowFsOptions options;
    options.failReads = "/Game.bin";
    testsupport::SlowFs view(scratch_.path() + "/share", 0, false, false, options);
    ASSERT_TRUE(view.mounted()) << view.error();
    const std::string cue = "FILE Game.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n";
    const struct {
        const char* what;
        std::string sheet;  // beside Game.bin, or "" for Game.bin itself
        std::string data;
    } cases[] = {
        {"library, raw sectors", cue, raw2()},
        {"library, plain", "", disc()},
        {"narrow reader", "TRACK MODE2_RAW\nDATAFILE \"Game.bin\"\n",
         wrapSectors(disc(), Layout::Mode2RawSub)},
    };
    for (const auto& c : cases) {
        std::string sheet = c.sheet.empty()     ? "Game.bin"
                            : c.sheet[0] == 'F' ? "Game.cue"
                                                : "Game.toc";
        writeFile("share/Game.bin", c.data);
        if (!c.sheet.empty()) writeFile("share/" + sheet, c.sheet);
        std::string id = "stale";
        EXPECT_EQ(gameidReadImage(view.path() + "/" + sheet, &id, nullptr), GAMEID_UNREADABLE)
            << c.what;
        EXPECT_EQ(id, "") << c.what;
        EXPECT_EQ(gameidReadImage("share/" + sheet, &id, nullptr), GAMEID_FOUND) << c.what;
    }
    int result;
    std::string id;
    ASSERT_TRUE(ask(view.path() + "/Game.toc", &result, &id));
    EXPECT_EQ(result, GAMEID_UNREADABLE);
    EXPECT_EQ(id, "");
}

// The reader runs confined from its start: no new privileges, a seccomp
// filter, and a call outside the filter ends it.
TEST_F(GameIdHelperTest, TheReaderIsConfined) {
    if (!kGameidConfined) GTEST_SKIP() << "sanitizer builds run their readers unconfined";
    // What reading needs stays allowed: each reader, a name found ignoring
    // case, a check of stamps, drives.
    writeFile("Game.iso", disc());
    writeFile("Game.cue", "FILE game.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n");
    writeFile("GAME.BIN", raw2());
    writeFile("Sub.toc", "TRACK MODE2_RAW\nDATAFILE \"Sub.bin\"\n");
    writeFile("Sub.bin", wrapSectors(disc(), Layout::Mode2RawSub));
    const struct {
        const char* disc;
        GameIdHow how;
        int result;
    } reads[] = {
        {"Game.iso", GAMEID_HOW_IMAGE, GAMEID_FOUND},
        {"Game.cue", GAMEID_HOW_CHECK, GAMEID_FOUND},
        {"Sub.toc", GAMEID_HOW_DISC, GAMEID_FOUND},
        {"Missing.cue", GAMEID_HOW_IMAGE, GAMEID_UNREADABLE},
        {"/dev/zero", GAMEID_HOW_DEVICE, GAMEID_UNREADABLE},
        {"/nonexistent/sr0", GAMEID_HOW_DEVICE, GAMEID_NO_DRIVE},
    };
    int result;
    std::string id;
    for (const auto& r : reads) {
        ASSERT_TRUE(ask(r.disc, &result, &id, r.how)) << r.disc;
        EXPECT_EQ(result, r.result) << r.disc;
        EXPECT_EQ(id, r.result == GAMEID_FOUND ? "SLUS-00330" : "") << r.disc;
    }
    std::string status = readFile("/proc/" + std::to_string(pid_) + "/status");
    EXPECT_NE(status.find("\nNoNewPrivs:\t1\n"), std::string::npos) << status;
    EXPECT_NE(status.find("\nSeccomp:\t2\n"), std::string::npos) << status;

    writeFile("forbidden-call.iso", disc());
    EXPECT_FALSE(ask("forbidden-call.iso", &result, &id));
    int ended = ending();
    EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGSYS) << ended;
}

// The reader's process: its address space is limited, a disc that claims a
// root folder larger than that gives no ID, and a sound disc still reads.
TEST_F(GameIdTest, PreparedReader) {
    std::string broken = raw2();
    broken.replace(16 * 2352 + 24 + 156 + 10, 8, "\0\0\0\x7f\x7f\0\0\0", 8);
    writeFile("Broken.bin", broken);
    writeFile("Game.bin", raw2());
    writeFile("Game.cue", "FILE Game.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n");
    int status = inChild([] {
        if (!gameidPrepareReader(256ull << 20)) return 1;
        struct rlimit limit;
        if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur > (256ull << 20)) return 2;
        std::string id;
        if (gameidReadImage("Broken.bin", &id, nullptr) != GAMEID_NONE) return 3;
        return gameidReadImage("Game.cue", &id, nullptr) == GAMEID_FOUND && id == "SLUS-00330" ? 0
                                                                                               : 4;
    });
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    (void)status;  // a sanitizer's shadow memory does not fit a limited address space
#else
    EXPECT_EQ(status, 0);
#endif
}

}  // namespace
