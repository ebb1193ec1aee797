// Process helpers: folder trees, the temporary folder, the command line, the
// priority and the message box, whose text must never reach the shell.
#include "util/process.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "support/testsupport.h"

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

bool isDir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(Process, MakeDirCreatesEveryMissingFolder) {
    testsupport::ScratchDir dir;
    const std::string base = dir.path() + "/a//b/";
    EXPECT_EQ(makeDir(base.c_str(), 0755), 0);
    EXPECT_TRUE(isDir(dir.path() + "/a"));
    EXPECT_TRUE(isDir(dir.path() + "/a/b"));
    EXPECT_EQ(makeDir(base.c_str(), 0755), 0);  // existing folders are fine
    EXPECT_EQ(makeDir("c/d/e", 0700), 0);       // relative paths too
    EXPECT_TRUE(isDir("c/d/e"));

    writeFile("file", "x");
    for (const char* path : {"file/b", "file", "a/b/../../file/x/"}) {
        errno = 0;
        EXPECT_EQ(makeDir(path, 0755), -1) << path;
        EXPECT_EQ(errno, ENOTDIR) << path;
    }
    errno = 0;
    EXPECT_EQ(makeDir("/proc/no/such", 0755), -1);
    EXPECT_NE(errno, 0);
}

TEST(Process, TmpDirFollowsTmpdirButRefusesWhatDoesNotFit) {
    const char* saved = getenv("TMPDIR");
    std::string restore = saved ? saved : "";
    const std::string longest(4095, 'd'), tooLong(4096, 'd'), huge(100000, 'd');
    struct Case {
        const char* value;
        std::string expected;
    } cases[] = {{nullptr, "/tmp"},
                 {"/var/tmp", "/var/tmp"},
                 {longest.c_str(), longest},
                 {tooLong.c_str(), "/tmp"},
                 {huge.c_str(), "/tmp"}};
    for (const Case& c : cases) {
        if (c.value)
            setenv("TMPDIR", c.value, 1);
        else
            unsetenv("TMPDIR");
        EXPECT_EQ(getTmpDir(), c.expected) << (c.value ? strlen(c.value) : 0);
    }
    if (saved)
        setenv("TMPDIR", restore.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(Process, CmdlineIsReadAndCutToTheBuffer) {
    char full[CMDLINE_BUFFER_SIZE + 16];
    memset(full, 'x', sizeof full);
    int count = getCmdline(full);
    ASSERT_GT(count, 0);
    EXPECT_LE(count, CMDLINE_BUFFER_SIZE - 1);
    EXPECT_EQ(full[count], '\0');
    EXPECT_EQ(full[CMDLINE_BUFFER_SIZE], 'x');  // nothing past the buffer
    EXPECT_NE(std::string(full).find("test_util"), std::string::npos);

    // A small buffer gets the start of the same text, cut.
    char small[6];
    EXPECT_EQ(getCmdline(small, sizeof small), 5);
    EXPECT_EQ(std::string(small), std::string(full, 5));
}

// The niceness change that setProcessPriority(level) makes, in a child.
int niceChange(int level) {
    return testsupport::inChild([level] {
               int before = getpriority(PRIO_PROCESS, 0);
               setProcessPriority(level);
               return getpriority(PRIO_PROCESS, 0) - before + 100;
           }) -
           100;
}

TEST(Process, PriorityScalesTheLevelTruncatingTowardZero) {
    // Lowering the priority works for any user; the niceness must start low
    // enough that the ceiling of 19 does not clip the change.
    if (getpriority(PRIO_PROCESS, 0) > 0) GTEST_SKIP() << "already niced";
    EXPECT_EQ(niceChange(-1), 1);
    EXPECT_EQ(niceChange(-5), 9);
    EXPECT_EQ(niceChange(0), 0);
    if (geteuid() == 0) {
        EXPECT_EQ(niceChange(5), -9);
        EXPECT_EQ(niceChange(10), -19);
    }
    EXPECT_EQ(niceChange(-2000000000), 19);  // no overflow: clipped at the ceiling
}

TEST(Process, FocusTestRejectsNullArguments) {
    unsigned long window = 1;
    EXPECT_EQ(checkAppFocus(nullptr, &window), 0);
}

// A stand-in xmessage on PATH that records its arguments one per line.
class Message : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile("xmessage",
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > args\n"
                  "exit 3\n");
        chmod("xmessage", 0755);
        const char* path = getenv("PATH");
        savedPath_ = path ? path : "";
        setenv("PATH", (dir_.path() + ":" + savedPath_).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

    testsupport::ScratchDir dir_;
    std::string savedPath_;
};

TEST_F(Message, ReachesXmessageAsOneLiteralArgument) {
    const std::string file = dir_.path() + "/planted";
    const std::string messages[] = {"$(touch " + file + ")",      "\"; touch " + file + "; \"",
                                    "`touch " + file + "`",       "it's a 'quote' \\ $HOME",
                                    "' ; touch " + file + " ; '", "plain text"};
    for (const std::string& message : messages) {
        int result = sysMessage("%s", message.c_str());
        EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == 3) << message;
        EXPECT_FALSE(fileExists(file)) << message;
        EXPECT_EQ(readFile("args"), "-center\n-print\n" + message + " \n") << message;
    }
    EXPECT_EQ(sysMessage(nullptr), 0);
}

TEST_F(Message, LongMessagesAreCut) {
    const std::string longest(16377, 'm');
    sysMessage("%s%s", longest.c_str(), "cut");
    EXPECT_EQ(readFile("args"), "-center\n-print\n" + longest + " \n");
}

}  // namespace
