#include "support/helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "clients/helperclient.h"
#include "helper/helper_main.h"
#include "support/testsupport.h"

namespace testsupport {

namespace {

std::string logFolder;  // the helpers' sanitizer reports; "" outside sanitizer builds
std::string faults;     // found since the last look
std::vector<int> expectedSignals;

void onHelperEnd(const HelperEnd& end) {
    if (end.code == CLD_EXITED) {
        if (end.status != 0)
            faults += "a helper (" + std::to_string(end.pid) + ") exited with status " +
                      std::to_string(end.status) + "\n";
        return;
    }
    bool expected = std::find(expectedSignals.begin(), expectedSignals.end(), end.status) !=
                    expectedSignals.end();
    if (!end.killed && !expected)
        faults += "a helper (" + std::to_string(end.pid) + ") died of signal " +
                  std::to_string(end.status) + "\n";
}

#if defined(__SANITIZE_ADDRESS__)
// For processes started from now on: this one read its options at its start.
void appendOption(const char* variable, const std::string& option) {
    const char* now = getenv(variable);
    setenv(variable, (now && *now ? std::string(now) + ":" : std::string()).append(option).c_str(),
           1);
}

#endif

}  // namespace

std::string takeHelperFaults() {
    helperReapEnded();
    if (!logFolder.empty())
        for (const std::string& name : folderNames(logFolder)) {
            faults += "a helper's report, " + name + ":\n" + readFile(joinPath(logFolder, name));
            removeTree(joinPath(logFolder, name));
        }
    std::string found;
    found.swap(faults);
    return found;
}

namespace {

class Watch : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        // A helper the test let go may close its socket a moment before it can
        // be reaped: its end belongs to this test, judged by this test's
        // expectations. One held by a share may take longer; it is judged at
        // the next look.
        for (int tries = 0; tries < 400 && helperReapEnded() > 0; tries++) usleep(5000);
        std::string found = takeHelperFaults();
        if (!found.empty()) ADD_FAILURE() << found;
        expectedSignals.clear();
    }
};

}  // namespace

void startTestProgram(int* argc, char** argv) {
    helperMainIfStarted(*argc, argv);
    ::testing::InitGoogleTest(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    char folder[] = "/tmp/discwren-helper-logs-XXXXXX";
    if (mkdtemp(folder)) {
        logFolder = folder;
        appendOption("ASAN_OPTIONS", "log_path=" + logFolder + "/asan");
        appendOption("UBSAN_OPTIONS", "log_path=" + logFolder + "/ubsan");
    }
#endif
    helperWatchEnds(onHelperEnd);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watch);
}

bool endTestProgram() {
    std::string found = takeHelperFaults();
    if (!found.empty()) fprintf(stderr, "After the last test:\n%s", found.c_str());
    if (!logFolder.empty()) removeTree(logFolder);
    return found.empty();
}

void expectHelperDeaths(int signal) { expectedSignals.push_back(signal); }

}  // namespace testsupport
