// The real cfgDiscWren, started from another folder and driven through the
// X server as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "app/program.h"
#include "support/testsupport.h"

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::ScratchDir;

namespace {

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        // A private copy, so the settings file lands in a folder of the test's.
        ASSERT_EQ(mkdir("install", 0755), 0);
        ASSERT_EQ(mkdir("elsewhere", 0755), 0);
        testsupport::writeFile("install/cfgDiscWren", readFile(DISCWREN_EXECUTABLE));
        chmod("install/cfgDiscWren", 0755);
    }

    bool launch(apptest::Program& program) {
        return program.start(dir.path() + "/install/cfgDiscWren", "elsewhere",
                             dir.path() + "/messages.log");
    }

    ScratchDir dir;
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

TEST_F(Executable, CancelAndClosingTheWindowWriteNothing) {
    for (const char* how : {"cancel", "close"}) {
        apptest::Program program;
        ASSERT_TRUE(launch(program)) << how;
        if (std::string(how) == "cancel") {
            program.clickCancel();
        } else {
            program.closeWindow();
        }
        EXPECT_EQ(program.exitStatus(), 0) << how;
        EXPECT_FALSE(fileExists("install/discWren.ini")) << how;
        EXPECT_FALSE(fileExists("elsewhere/discWren.ini")) << how;
    }
}

TEST_F(Executable, KeepsTheSettingsItFindsWhenCancelled) {
    const std::string mine = "[misc]\n; my own notes\ndialogx = 3\n";
    testsupport::writeFile("install/discWren.ini", mine);
    apptest::Program program;
    ASSERT_TRUE(launch(program));
    program.closeWindow();
    EXPECT_EQ(program.exitStatus(), 0);
    EXPECT_EQ(readFile("install/discWren.ini"), mine);
}

}  // namespace
