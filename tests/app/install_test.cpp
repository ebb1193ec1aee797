// cmake --install as a packager runs it, staged under DESTDIR: the dialog goes
// into the emulator's configuration-program folder and keeps its settings
// there; the translation is a component of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/testsupport.h"

using testsupport::fileExists;
using testsupport::readFile;

namespace {

const std::string kBuild = [] {
    std::string executable = DISCWREN_EXECUTABLE;
    return executable.substr(0, executable.rfind('/'));
}();

// A folder setting of the build, from its CMake cache.
std::string cacheValue(const std::string& name) {
    std::string cache = readFile(kBuild + "/CMakeCache.txt");
    size_t at = cache.find("\n" + name + ":");
    if (at == std::string::npos) return "";
    size_t start = cache.find('=', at) + 1;
    return cache.substr(start, cache.find('\n', start) - start);
}

// Where an install folder lands under the stage: relative ones below the prefix.
std::string staged(const std::string& stage, const std::string& prefix, const std::string& folder) {
    return stage + (folder[0] == '/' ? folder : prefix + "/" + folder);
}

int install(const std::string& stage, const std::string& arguments) {
    std::string command = "DESTDIR='" + stage + "' cmake --install '" + kBuild + "' " + arguments +
                          " >>install.log 2>&1";
    return system(command.c_str());
}

TEST(Install, StagedDialogSavesItsSettingsNextToItself) {
    testsupport::ScratchDir dir;
    const std::string stage = dir.path() + "/stage", prefix = "/opt/emulator";
    ASSERT_EQ(install(stage, "--prefix " + prefix), 0) << readFile("install.log");
    const std::string folder = staged(stage, prefix, cacheValue("DISCWREN_INSTALL_CFGDIR"));
    struct stat st;
    ASSERT_EQ(stat((folder + "/cfgDiscWren").c_str(), &st), 0) << readFile("install.log");
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    // It is the only file there: its helpers are the same file.
    EXPECT_EQ(testsupport::folderNames(folder), std::vector<std::string>{"cfgDiscWren"});
    // The catalogue needs root on a real system, so a plain install leaves it out.
    EXPECT_FALSE(fileExists(staged(stage, prefix, cacheValue("DISCWREN_LOCALEDIR"))));

    ASSERT_EQ(mkdir("elsewhere", 0755), 0);
    apptest::Program program;
    ASSERT_TRUE(program.start(folder + "/cfgDiscWren", "elsewhere", dir.path() + "/messages.log"));
    program.clickOk();
    EXPECT_EQ(program.exitStatus(), 0);
    EXPECT_NE(readFile(folder + "/discWren.ini").find("[cd selection]"), std::string::npos);
    EXPECT_FALSE(fileExists("elsewhere/discWren.ini"));
}

TEST(Install, TranslationComponentPutsTheCatalogueWhereGettextLooks) {
    testsupport::ScratchDir dir;
    const std::string stage = dir.path() + "/stage";
    ASSERT_EQ(install(stage, "--component translation"), 0) << readFile("install.log");
    const std::string installed =
        stage + cacheValue("DISCWREN_LOCALEDIR") + "/ru/LC_MESSAGES/discWren.mo";
    bool ok = false;
    EXPECT_EQ(readFile(installed, &ok), readFile(kBuild + "/po/ru/LC_MESSAGES/discWren.mo"));
    EXPECT_TRUE(ok) << installed;
    // The dialog is not part of it.
    EXPECT_FALSE(fileExists(
        staged(stage, cacheValue("CMAKE_INSTALL_PREFIX"), cacheValue("DISCWREN_INSTALL_CFGDIR"))));
}

}  // namespace
