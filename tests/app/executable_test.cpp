// The real cfgDiscWren, started from another folder and driven through the
// X server as a user would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/discs.h"
#include "support/program.h"
#include "support/slowfs.h"
#include "support/testsupport.h"

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::SlowFs;
using testsupport::writeFile;

namespace {

// Reads fd until its end of file; false when it does not come within ten seconds.
bool readsToEnd(int fd) {
    char buffer[4096];
    for (;;) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0) return false;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        // A private copy, alone in its folder as a player installs it, so the
        // settings file lands in a folder of the test's.
        ASSERT_EQ(mkdir("install", 0755), 0);
        ASSERT_EQ(mkdir("elsewhere", 0755), 0);
        testsupport::writeFile("install/cfgDiscWren", readFile(DISCWREN_EXECUTABLE));
        chmod("install/cfgDiscWren", 0755);
    }

    bool launch(apptest::Program& program, const std::function<bool()>& prepare = {}) {
        return program.start(dir.path() + "/install/cfgDiscWren", "elsewhere",
                             dir.path() + "/messages.log", prepare);
    }

    // A share holding its listings and reads, with one image, the program's
    // image folder and its current disc; false when it cannot be mounted.
    bool mountHeldShare() {
        writeFile("games/Alpha.cue", "");
        writeFile("games/Alpha.bin", std::string(1 << 20, 'a'));
        share.reset(new SlowFs(dir.path() + "/games", 0, true, true));
        EXPECT_TRUE(share->mounted()) << share->error();
        settingsFile = "[cd selection]\ncdimgdir0 = " + share->path() +
                       "/\ncurrent = " + share->path() + "/Alpha.cue\n";
        writeFile("install/discWren.ini", settingsFile);
        return share->mounted();
    }

    // How many processes run the program's copy: the dialog and its helpers.
    int running() {
        const std::string program = dir.path() + "/install/cfgDiscWren";
        int count = 0;
        for (const std::string& process : testsupport::folderNames("/proc")) {
            char target[4096];
            ssize_t n = readlink(("/proc/" + process + "/exe").c_str(), target, sizeof target);
            count += n > 0 && std::string(target, static_cast<size_t>(n)) == program;
        }
        return count;
    }

    // Releases the share; true once nothing of the program's is left.
    bool releaseAndWaitForHelpers() {
        EXPECT_TRUE(share->release());
        for (int tries = 0; tries < 1000 && running() > 0; tries++) usleep(10000);
        return running() == 0;
    }

    ScratchDir dir;
    std::unique_ptr<SlowFs> share;  // before dir goes: its source is there
    std::string settingsFile;
};

TEST_F(Executable, OkWritesTheSettingsNextToTheProgram) {
    apptest::Program program;
    ASSERT_TRUE(launch(program));
    program.clickOk();
    EXPECT_EQ(program.exitStatus(), 0);
    bool ok = false;
    std::string written = readFile("install/discWren.ini", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(written.rfind("\n[cd selection]\n", 0), 0u);
    EXPECT_EQ(testsupport::fileValue("cachinglevel", "install/discWren.ini"), "20000");
    EXPECT_FALSE(fileExists("elsewhere/discWren.ini"));
    // Every handler of the definition was found and nothing went wrong on the way.
    std::string messages = readFile("messages.log");
    EXPECT_EQ(messages.find("Could not find signal handler"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("CRITICAL"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("WARNING"), std::string::npos) << messages;
}

// CANCEL and closing write nothing: no file where there was none, and the
// user's own file as it was.
TEST_F(Executable, CancelAndClosingTheWindowWriteNothing) {
    const std::string mine = "[misc]\n; my own notes\ndialogx = 3\n";
    for (auto [cancel, ownFile] : {std::pair{true, false}, {false, false}, {false, true}}) {
        SCOPED_TRACE(std::string(cancel ? "cancel" : "close") + (ownFile ? " on a file" : ""));
        if (ownFile) writeFile("install/discWren.ini", mine);
        apptest::Program program;
        ASSERT_TRUE(launch(program));
        cancel ? program.clickCancel() : program.closeWindow();
        EXPECT_EQ(program.exitStatus(), 0);
        EXPECT_EQ(fileExists("install/discWren.ini"), ownFile);
        EXPECT_EQ(readFile("install/discWren.ini"), ownFile ? mine : "");
        EXPECT_FALSE(fileExists("elsewhere/discWren.ini"));
    }
}

// While the image folder's listing hangs, every way out ends the process at
// once with its window, and its standard error reaches its end although the
// helpers still wait on the share: they hold none of the dialog's descriptors.
TEST_F(Executable, EveryWayOutEndsTheProcessWhileAListingHangs) {
    SKIP_WITHOUT_SLOWFS();
    ASSERT_TRUE(mountHeldShare());
    for (std::string how : {"ok", "cancel", "close"}) {
        writeFile("install/discWren.ini", settingsFile);
        int output[2];
        ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
        apptest::Program program;
        bool started = launch(program, [&] { return dup2(output[1], STDERR_FILENO) >= 0; });
        close(output[1]);
        ASSERT_TRUE(started) << how;
        std::string held;
        ASSERT_TRUE(share->waitHeld(&held)) << how;
        if (how == "ok")
            program.clickOk();
        else if (how == "cancel")
            program.clickCancel();
        else
            program.closeWindow();
        apptest::XWindow window = program.window();
        EXPECT_EQ(program.exitStatus(), 0) << how;
        EXPECT_FALSE(program.shows(window)) << how;
        EXPECT_TRUE(readsToEnd(output[0])) << how;
        close(output[0]);
        if (how == "ok") {
            EXPECT_EQ(testsupport::fileValue("cachinglevel", "install/discWren.ini"), "20000");
            EXPECT_EQ(testsupport::fileValue("current", "install/discWren.ini"),
                      share->path() + "/Alpha.cue");
        } else {
            EXPECT_EQ(readFile("install/discWren.ini"), settingsFile) << how;
        }
    }
    EXPECT_TRUE(releaseAndWaitForHelpers());
}

// "Calc md5" of a disc whose data file hangs in its first read: the progress
// window shows, its Cancel closes it, and OK still ends the process.
TEST_F(Executable, CalcMd5WhileAReadHangsLeavesTheDialogFreeToEnd) {
    SKIP_WITHOUT_SLOWFS();
    ASSERT_TRUE(mountHeldShare());
    apptest::Program program;
    ASSERT_TRUE(launch(program));
    ASSERT_TRUE(share->waitHeld());  // the scan's listing
    // "Calc md5" ends the CD list's row of buttons, below the two rows of tabs.
    program.click(program.window(), -50, 167);
    std::string held;
    while (held != "/Alpha.bin" && share->waitHeld(&held)) {
    }
    EXPECT_EQ(held, "/Alpha.bin");
    apptest::XWindow progress = program.waitWindow("md5 control sum");
    ASSERT_NE(progress, 0u);
    program.click(progress, -20, -20);  // Cancel, in its bottom right corner
    for (int tries = 0; tries < 1000 && program.shows(progress); tries++) usleep(10000);
    EXPECT_FALSE(program.shows(progress));
    program.clickOk();
    EXPECT_EQ(program.exitStatus(), 0);
    EXPECT_EQ(testsupport::fileValue("current", "install/discWren.ini"),
              share->path() + "/Alpha.cue");
    EXPECT_TRUE(releaseAndWaitForHelpers());
}

// The program copied alone runs its helpers from its own file: the image
// folder is listed, the disc's ID read and kept, and "Calc md5" and "Get ID"
// answer. Helpers that die are started again at the next request: with every
// child of the dialog killed, Update still reads the image folder (its kept
// list shows the new image) and "Calc md5" still shows a digest; the dead are
// reaped. The image's ID reader is among them. With its file no longer
// executable, no helper starts, and standard error says why.
TEST_F(Executable, HelpersRunFromTheProgramsOwnFileAndAreStartedAgainWhenKilled) {
    ASSERT_FALSE(testsupport::writeDisc(dir.path() + "/games", "Alpha", "SLUS_003.30").empty());
    writeFile("install/discWren.ini", "[cd selection]\ncdimgdir0 = " + dir.path() +
                                          "/games/\ncurrent = " + dir.path() +
                                          "/games/Alpha.cue\n");
    apptest::Program program;
    ASSERT_TRUE(launch(program));
    auto kept = [](const char* image) {
        return readFile("install/discWren.images").find(image) != std::string::npos;
    };
    auto digestShows = [&] {
        // "Calc md5" ends the CD list's row of buttons, below the two rows of tabs.
        program.click(program.window(), -50, 167);
        apptest::XWindow digest = program.waitWindow("md5 control sum");
        if (digest) program.closeWindow(digest);
        for (int tries = 0; tries < 1000 && digest && program.shows(digest); tries++) usleep(10000);
        return digest != 0;
    };
    for (int tries = 0; tries < 2000 && !kept("SLUS-00330"); tries++) usleep(10000);
    ASSERT_TRUE(kept("SLUS-00330"));
    ASSERT_TRUE(digestShows());
    std::vector<int> helpers = testsupport::childProcesses(program.pid());
    EXPECT_EQ(helpers.size(), 3u);  // the scan's, the hash's and the one image's ID reader
    for (int helper : helpers) kill(helper, SIGKILL);

    writeFile("games/Beta.cue", "");
    program.click(program.window(), -193, 167);  // Update, left of "Get ID"
    for (int tries = 0; tries < 2000 && !kept("Beta.cue"); tries++) usleep(10000);
    EXPECT_TRUE(kept("Beta.cue"));
    EXPECT_TRUE(digestShows());
    for (int tries = 0; tries < 1000; tries++) {
        if (testsupport::childProcesses(program.pid(), true).empty()) break;
        usleep(10000);
    }
    EXPECT_EQ(testsupport::childProcesses(program.pid(), true), std::vector<int>{});

    // "Get ID" reads the chosen disc again: its data file now has another ID.
    ASSERT_FALSE(testsupport::writeDisc(dir.path() + "/games", "Alpha", "SCES_012.34").empty());
    program.click(program.window(), -122, 167);  // Get ID, between Update and "Calc md5"
    for (int tries = 0; tries < 2000 && !kept("SCES-01234"); tries++) usleep(10000);
    EXPECT_TRUE(kept("SCES-01234"));

    for (int helper : testsupport::childProcesses(program.pid())) kill(helper, SIGKILL);
    chmod("install/cfgDiscWren", 0644);
    program.click(program.window(), -193, 167);
    const char why[] = "a helper process cannot be started: Permission denied";
    for (int tries = 0; tries < 2000 && readFile("messages.log").find(why) == std::string::npos;
         tries++)
        usleep(10000);
    EXPECT_NE(readFile("messages.log").find(why), std::string::npos) << readFile("messages.log");
    program.clickOk();
    EXPECT_EQ(program.exitStatus(), 0);
}

// Started with its standard streams closed, the dialog has /dev/null there,
// so no socket or file it opens later takes their place.
TEST_F(Executable, ClosedStandardStreamsAreOpenedOnDevNull) {
    apptest::Program program;
    ASSERT_TRUE(launch(program, [] { return close(0) == 0 && close(1) == 0 && close(2) == 0; }));
    for (int fd = 0; fd < 3; ++fd) {
        char target[4096] = {};
        std::string link = "/proc/" + std::to_string(program.pid()) + "/fd/" + std::to_string(fd);
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        EXPECT_EQ(std::string(target, n > 0 ? static_cast<size_t>(n) : 0), "/dev/null") << fd;
    }
    program.clickOk();
    EXPECT_EQ(program.exitStatus(), 0);
}

}  // namespace
