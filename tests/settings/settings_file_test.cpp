// The settings file: layout, reading rules, round trips and safe writing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "catalogue/cdsearch.h"
#include "containers/recently.h"
#include "settings/settingsfile.h"
#include "support/testsupport.h"

using testsupport::deviceList;
using testsupport::directoryList;
using testsupport::folderEntries;
using testsupport::inChild;
using testsupport::readFile;
using testsupport::recentList;
using testsupport::writeFile;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    // Reads a settings file made of the given text into a fresh record.
    Settings readText(const std::string& text) {
        writeFile("discWren.ini", text);
        Settings s;
        EXPECT_EQ(settingsRead(&s), 0);
        return s;
    }

    // Writes s, empties the lists, and reads the file into a fresh record.
    static Settings writeAndReadBack(Settings s) {
        EXPECT_EQ(settingsWrite(&s), 0);
        cdsearchClear();
        recentlyClear();
        Settings back;
        EXPECT_EQ(settingsRead(&back), 0);
        return back;
    }

    testsupport::ScratchDir dir;
    testsupport::CatalogueLists lists;
};

using Strings = std::vector<std::string>;

// Clears the bytes after each text's terminator, which carry no meaning.
void clearTails(char* text, size_t size) {
    size_t length = strnlen(text, size);
    memset(text + length, 0, size - length);
}

bool sameRecord(Settings a, Settings b) {
    for (Settings* s : {&a, &b}) {
        clearTails(s->current, sizeof s->current);
        clearTails(s->filter, sizeof s->filter);
        clearTails(s->language, sizeof s->language);
        for (auto& key : s->hotkeys)
            for (auto& slot : key) clearTails(slot, sizeof slot);
    }
    return memcmp(&a, &b, sizeof a) == 0;
}

Settings defaults() {
    Settings s;
    memset(&s, 0, sizeof s);
    settingsLoadDefault(&s);
    return s;
}

TEST_F(SettingsFile, DefaultsAreWrittenInTheExactLayout) {
    Settings s = defaults();
    ASSERT_EQ(settingsWrite(&s), 0);
    bool ok = false;
    std::string golden = readFile(DISCWREN_SOURCE_DIR "/tests/settings/data/defaults.ini", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(readFile("discWren.ini"), golden);
}

// Every field of the table set away from its default, written and read back:
// a key the writer or the reader leaves out shows as that field's default.
TEST_F(SettingsFile, EverythingWrittenReadsBackTheSame) {
    Settings s = defaults();
    Settings shipped = defaults();
    std::vector<bool> covered(sizeof(Settings), false);
    for (int i = 0; i < settingsFieldCount; i++) {
        const SettingField& f = settingsFields[i];
        size_t width = 0;
        switch (f.kind) {
        case SettingKind::Flag:
            *settingsNumber(&s, f) = !f.defaultNumber;
            width = sizeof(int32_t);
            break;
        case SettingKind::Integer:
            // In range when clamped, away from the default either way.
            *settingsNumber(&s, f) =
                f.clamped ? (f.defaultNumber == f.high ? f.low + 1 : f.high - 1) : -1000 - i;
            width = sizeof(int32_t);
            break;
        case SettingKind::Text:
            snprintf(settingsText(&s, f), f.size, "%s text %d", f.key, i);
            width = f.size;
            break;
        case SettingKind::HotKey:
            // One keyboard key, a different one in every slot.
            snprintf(settingsText(&s, f), f.size, "01100000%02x", 0x0a + i);
            width = f.size;
            break;
        default:
            continue;  // the lists follow
        }
        for (size_t b = f.offset; b < f.offset + width && b < covered.size(); b++)
            covered[b] = true;
    }
    // The table describes every byte of the record.
    EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
    for (const char* d : {"/dev/sr1", "/dev/cdrom", "/dev/sr0"}) cdsearchAddDevice(d);
    for (const char* d : {"/home/u/psx/", "/mnt/games/"}) cdsearchAddDirectory(d);
    for (const char* r : {"/a/1.cue", "/a/2.ccd", "/dev/cdrom", "No CD (bios shell)", "/a/5.mds"})
        recentlyAppend(strdup(r));

    Settings back = writeAndReadBack(s);
    for (int i = 0; i < settingsFieldCount; i++) {
        const SettingField& f = settingsFields[i];
        Settings* sent = &s;
        Settings* base = &shipped;
        switch (f.kind) {
        case SettingKind::Flag:
        case SettingKind::Integer:
            EXPECT_NE(*settingsNumber(sent, f), *settingsNumber(base, f)) << f.key;
            EXPECT_EQ(*settingsNumber(&back, f), *settingsNumber(sent, f))
                << "[" << f.section << "] " << f.key;
            break;
        case SettingKind::Text:
        case SettingKind::HotKey:
            EXPECT_STRNE(settingsText(sent, f), settingsText(base, f)) << f.key;
            EXPECT_STREQ(settingsText(&back, f), settingsText(sent, f))
                << "[" << f.section << "] " << f.key;
            break;
        default:
            break;
        }
    }
    EXPECT_TRUE(sameRecord(s, back));
    EXPECT_EQ(deviceList(), (Strings{"/dev/sr1", "/dev/cdrom", "/dev/sr0"}));
    EXPECT_EQ(directoryList(), (Strings{"/home/u/psx/", "/mnt/games/"}));
    EXPECT_EQ(recentList(),
              (Strings{"/a/1.cue", "/a/2.ccd", "/dev/cdrom", "No CD (bios shell)", "/a/5.mds"}));
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndKeepsTheLists) {
    cdsearchAddDevice("/dev/cdrom");
    recentlyAppend(strdup("/a.cue"));
    Settings s;
    memset(&s, 0x33, sizeof s);
    EXPECT_EQ(settingsRead(&s), -1);
    EXPECT_TRUE(sameRecord(s, defaults()));
    // A folder in the file's place is no settings file either.
    mkdir("discWren.ini", 0755);
    EXPECT_EQ(settingsRead(&s), -1);
    EXPECT_EQ(deviceList(), Strings{"/dev/cdrom"});
    EXPECT_EQ(recentList(), Strings{"/a.cue"});
}

TEST_F(SettingsFile, MissingKeysTakeTheirDefaultsButHotKeysBecomeUnassigned) {
    Settings s = readText("[misc]\ndialogx = 5\n");
    for (auto& key : s.hotkeys)
        for (auto& slot : key) EXPECT_STREQ(slot, "");
    EXPECT_EQ(s.dialogx, 5);
    EXPECT_EQ(s.showstatus, 1);
    EXPECT_EQ(s.cachinglevel, 20000);
    EXPECT_STREQ(s.language, "en_EN.utf-8");
}

TEST_F(SettingsFile, ValuesAreReadByTheFileRules) {
    Settings s = readText(
        "; a comment\n"
        "  # another\n"
        "[CDROM Property]\n"
        "PlayCDXA = yes\n"
        "playcdda = off\n"  // 'o' is neither true nor false: default 1
        "readsubchannels = N\n"
        "ppfpatching = 0\n"
        "caching = F\n"
        "cachinglevel = 0x100\n"
        "cdxavolumelevel = 010\n"          // octal
        "cddavolumelevel = loud\n"         // no number: 0
        "tryagainonerror = 99999999999\n"  // saturates, then clamps
        "spindowntime = -99999999999\n"
        "speedlimitation = 40\n"
        "[misc]\n"
        "showstatus = maybe\n"
        "coveropened = maybe\n"
        "enablelogging = True\n"
        "dialogy = 12 ; trailing comment\n"
        "language =\n"
        "[cd selection]\n"
        "current = /games/Final Fantasy #7/disc.cue\n"
        "filter = \"  spaced  \"\n");
    EXPECT_EQ(s.playcdxa, 1);
    EXPECT_EQ(s.playcdda, 1);
    EXPECT_EQ(s.readsubchannels, 0);
    EXPECT_EQ(s.ppfpatching, 0);
    EXPECT_EQ(s.caching, 0);
    EXPECT_EQ(s.cachinglevel, 256);
    EXPECT_EQ(s.cdxavolumelevel, 8);
    EXPECT_EQ(s.cddavolumelevel, 0);
    EXPECT_EQ(s.tryagainonerror, 16);
    EXPECT_EQ(s.spindowntime, 0);
    EXPECT_EQ(s.speedlimitation, 32);
    EXPECT_EQ(s.showstatus, 1);
    EXPECT_EQ(s.coveropened, 0);
    EXPECT_EQ(s.enablelogging, 1);
    EXPECT_EQ(s.dialogy, 12);
    EXPECT_STREQ(s.language, "en_EN.utf-8");
    EXPECT_STREQ(s.current, "/games/Final Fantasy");  // unquoted: cut before '#'
    EXPECT_STREQ(s.filter, "  spaced  ");
}

TEST_F(SettingsFile, IndexedListsEndAtTheFirstGapAndDropDuplicates) {
    std::string text =
        "[cd selection]\ncddev0 = /dev/sr0\ncddev1 = /dev/sr0\ncddev2 = /dev/sr1\n"
        "cddev4 = /dev/sr4\ncdimgdir1 = /lost/\n[recently]\n";
    for (int i = 0; i < 25; i++) text += std::to_string(i) + " = /r/" + std::to_string(i) + "\n";
    readText(text);
    EXPECT_EQ(deviceList(), (Strings{"/dev/sr0", "/dev/sr1"}));
    EXPECT_TRUE(directoryList().empty());
    ASSERT_EQ(recentlyQuantity(), 20);
    EXPECT_EQ(recentList().front(), "/r/0");
    EXPECT_EQ(recentList().back(), "/r/19");
}

TEST_F(SettingsFile, LongValuesSurviveARoundTrip) {
    Settings s = defaults();
    std::string longPath = "/" + std::string(4093, 'p') + "x";
    ASSERT_EQ(longPath.size(), 4095u);
    snprintf(s.current, sizeof s.current, "%s", longPath.c_str());
    std::string longFilter(511, 'f');
    snprintf(s.filter, sizeof s.filter, "%s", longFilter.c_str());
    cdsearchAddDevice(longPath.c_str());
    std::string longDir = std::string(4094, 'd') + "/";
    cdsearchAddDirectory(longDir.c_str());
    Settings back = writeAndReadBack(s);
    EXPECT_EQ(std::string(back.current), longPath);
    EXPECT_EQ(std::string(back.filter), longFilter);
    EXPECT_EQ(deviceList(), Strings{longPath});
    EXPECT_EQ(directoryList(), Strings{longDir});
}

TEST_F(SettingsFile, OddCharactersSurviveARoundTrip) {
    const Strings odd = {
        "/games/Final Fantasy #7/disc.cue",
        "/games/a;b.cue",
        " /lead/blank.cue",
        "/trail/blank.cue  ",
        "/quote\"d/x.cue",
        "'single'.cue",
        "\"double\".cue",
        "C:\\games\\",
        "it's #1.cue",
        "say \"hi\"; ok.cue",
        "\t/tab.cue",
        "=/eq=.cue",
    };
    Settings s = defaults();
    snprintf(s.current, sizeof s.current, "%s", odd[0].c_str());
    snprintf(s.filter, sizeof s.filter, "%s", odd[9].c_str());
    for (const std::string& name : odd) {
        cdsearchAddDirectory(name.c_str());
        recentlyAppend(strdup(name.c_str()));
    }
    Settings back = writeAndReadBack(s);
    EXPECT_STREQ(back.current, odd[0].c_str());
    EXPECT_STREQ(back.filter, odd[9].c_str());
    EXPECT_EQ(directoryList(), odd);
    EXPECT_EQ(recentList(), odd);
}

TEST_F(SettingsFile, UnwritableValuesAreLeftOutWithoutGapsOrPlantedKeys) {
    Settings s = defaults();
    snprintf(s.current, sizeof s.current, "/x.cue\n[misc]\nshowstatus = false");
    const Strings entries = {"/a.cue", "/b.cue\nlanguage = xx", "/c.cue", "both \"'; quotes",
                             "/d.cue\r"};
    for (const std::string& name : entries) recentlyAppend(strdup(name.c_str()));
    cdsearchAddDevice("/dev/sr0\ncddev1 = /dev/evil");
    cdsearchAddDevice("/dev/sr1");
    Settings back = writeAndReadBack(s);
    std::string file = readFile("discWren.ini");
    EXPECT_EQ(file.find("evil"), std::string::npos);
    EXPECT_EQ(file.find("xx"), std::string::npos);
    EXPECT_STREQ(back.current, "");
    EXPECT_EQ(back.showstatus, 1);
    EXPECT_STREQ(back.language, "en_EN.utf-8");
    EXPECT_EQ(recentList(), (Strings{"/a.cue", "/c.cue"}));
    EXPECT_EQ(deviceList(), Strings{"/dev/sr1"});
}

TEST_F(SettingsFile, OneBadLineCostsNothingElse) {
    Settings s = readText("[misc]\ndialogx = 7\n" + std::string(5000, 'g') + "\n" +
                          "[no closing bracket\n= no key\njunk line\n" + "dialogy = 8\n" +
                          "[cd selection]\ncddev0 = /dev/sr0\n");
    EXPECT_EQ(s.dialogx, 7);
    EXPECT_EQ(s.dialogy, 8);
    EXPECT_EQ(deviceList(), Strings{"/dev/sr0"});
}

TEST_F(SettingsFile, WindowsLineEndsAndAByteOrderMarkAreAccepted) {
    Settings s = readText("\xEF\xBB\xBF[misc]\r\ndialogx = 9\r\nlanguage = de_DE.utf-8\r\n");
    EXPECT_EQ(s.dialogx, 9);
    EXPECT_STREQ(s.language, "de_DE.utf-8");
}

// Whatever is read must survive the next write: a value holding a line break
// or a NUL byte could not.
TEST_F(SettingsFile, LoneCarriageReturnsAndNulBytesEndALineSoTheNextWriteKeepsAll) {
    using namespace std::string_literals;
    Settings s = readText(
        "[cd selection]\nfilter = ff7\rjunk\ncddev0 = /dev/sr0\n"
        "cddev1 = \0/dev/sr1\ncddev2 = /dev/sr2\ncurrent = /a.cue\0/b.cue\n"
        "[misc]\rdialogx = 3\r\r\nlanguage = de\r\rdialogy = 4"s);
    EXPECT_STREQ(s.filter, "ff7");
    EXPECT_STREQ(s.current, "/a.cue");
    EXPECT_EQ(deviceList(), Strings{"/dev/sr0"});
    EXPECT_EQ(s.dialogx, 3);
    EXPECT_EQ(s.dialogy, 4);
    EXPECT_STREQ(s.language, "de");
    Settings back = writeAndReadBack(s);
    EXPECT_TRUE(sameRecord(s, back));
    EXPECT_EQ(deviceList(), Strings{"/dev/sr0"});
}

// A text holding both kinds of quote cannot be quoted, so it must not end in
// blanks (cut by its field's width) or a backslash (line continuation for the
// plug-in); it loses them instead of being left out by the next write.
TEST_F(SettingsFile, TextsWithBothQuotesReadInAFormTheWriterCanCarry) {
    const std::string quotes = "a\"b'" + std::string(24, 'c');  // 28 characters
    Settings s = readText(
        "[cd selection]\nfilter = x\"y'z\\\\\ncdimgdir0 = /g/it's \"1\"\\\n"
        "[recently]\n0 = /it's \"x\" \\ \\\n1 = /ok.cue\n[misc]\nlanguage = " +
        quotes + "    tail\n[hot keys]\ncdswapping0 = 01\"'" + std::string(27, ' ') + "0\n");
    EXPECT_STREQ(s.filter, "x\"y'z");
    EXPECT_EQ(directoryList(), Strings{"/g/it's \"1\""});
    EXPECT_EQ(recentList(), (Strings{"/it's \"x\"", "/ok.cue"}));
    EXPECT_EQ(std::string(s.language), quotes);
    EXPECT_STREQ(s.hotkeys[10][0], "01\"'");
    Settings back = writeAndReadBack(s);
    EXPECT_TRUE(sameRecord(s, back));
    EXPECT_EQ(directoryList(), Strings{"/g/it's \"1\""});
    EXPECT_EQ(recentList(), (Strings{"/it's \"x\"", "/ok.cue"}));
}

TEST_F(SettingsFile, OverlongTextsAreCutToTheirFields) {
    Settings s = readText("[misc]\nlanguage = " + std::string(100, 'l') + "\n[hot keys]\n" +
                          "configdialog0 = " + std::string(40, '1') + "\n");
    EXPECT_EQ(std::string(s.language), std::string(31, 'l'));
    EXPECT_EQ(std::string(s.hotkeys[0][0]), std::string(31, '1'));
}

TEST_F(SettingsFile, AFailedWriteLeavesThePreviousFileWhole) {
    const std::string previous = "[misc]\ndialogx = 1\n" + std::string(3000, '#') + "\n";
    writeFile("discWren.ini", previous);
    Settings s = defaults();

    // A full disk: the file size limit stops the new file part-way.
    EXPECT_EQ(inChild([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  struct rlimit limit = {100, 100};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  // The caller still hears 0; the reason is kept aside.
                  return settingsWrite(&s) == 0 && settingsWriteError != 0 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(readFile("discWren.ini"), previous);

    // A folder the user may not write to.
    chmod(".", 0555);
    chmod("discWren.ini", 0644);
    EXPECT_EQ(inChild([&] {
                  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
                  // The caller still hears 0; the reason is kept aside.
                  return settingsWrite(&s) == 0 && settingsWriteError != 0 ? 0 : 1;
              }),
              0);
    chmod(".", 0755);
    EXPECT_EQ(readFile("discWren.ini"), previous);
    EXPECT_EQ(folderEntries(), Strings{"discWren.ini"});  // no temporary file left behind
}

TEST_F(SettingsFile, AWriteProtectedFileIsKeptAsItIs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const std::string previous = "[misc]\ndialogx = 1\n";
    Settings s = defaults();
    s.dialogx = 55;
    // The user owns the file and may write to the folder; only the file's mode
    // differs between the cases. A link to the file counts as the file.
    chmod(".", 0777);
    struct {
        mode_t mode;
        bool viaLink;
        int error;
    } cases[] = {{0444, false, EACCES}, {0444, true, EACCES}, {0644, false, 0}};
    for (const auto& c : cases) {
        unlink("discWren.ini");
        unlink("real.ini");
        const char* file = c.viaLink ? "real.ini" : "discWren.ini";
        writeFile(file, previous);
        chmod(file, c.mode);
        if (chown(file, 65534, 65534) != 0) GTEST_SKIP() << "cannot change owners here";
        if (c.viaLink) symlink("real.ini", "discWren.ini");
        EXPECT_EQ(inChild([&] {
                      if (setgid(65534) != 0 || setuid(65534) != 0) return 99;
                      return settingsWrite(&s) == 0 ? settingsWriteError : 98;
                  }),
                  c.error)
            << std::oct << c.mode;
        EXPECT_EQ(readFile(file) == previous, c.error != 0) << std::oct << c.mode;
    }
    // Root keeps its powers, as with any editor.
    chmod("discWren.ini", 0444);
    settingsWrite(&s);
    EXPECT_EQ(settingsWriteError, 0);
    EXPECT_NE(readFile("discWren.ini"), previous);
    chmod(".", 0755);
}

TEST_F(SettingsFile, WritingKeepsPermissionsAndLinksAndLeavesNoTemporaryFiles) {
    writeFile("real.ini", "old");
    chmod("real.ini", 0604);
    ASSERT_EQ(symlink("real.ini", "discWren.ini"), 0);
    Settings s = defaults();
    s.dialogx = 77;
    settingsWrite(&s);

    EXPECT_EQ(settingsWriteError, 0);
    struct stat st;
    ASSERT_EQ(lstat("discWren.ini", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("real.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(testsupport::fileValue("dialogx", "real.ini"), "77");
    Settings back;
    ASSERT_EQ(settingsRead(&back), 0);
    EXPECT_EQ(back.dialogx, 77);
    EXPECT_EQ(folderEntries(), (Strings{"discWren.ini", "real.ini"}));
}

}  // namespace
