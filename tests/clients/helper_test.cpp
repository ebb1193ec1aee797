// The helper client: bad frames end a helper, its request goes to a new one
// once, and every helper that ends is reaped.
#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clients/helperclient.h"
#include "clients/spawn.h"
#include "support/helpers.h"
#include "support/testsupport.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// A stand-in helper: a script that answers as the case says, counting its starts.
class HelperClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        script = dir.path() + "/helper.sh";
        client = new HelperClient({HELPER_SCAN, handle, lost, &count});
        count.client = client;
    }
    void TearDown() override {
        delete client;
        helperSetProgram(nullptr);
    }

    // The script sends first on its first start, then on every later start.
    void answers(const std::string& first, const std::string& then) {
        writeFile(script, "#!/bin/sh\necho x >>" + dir.path() + "/starts\nif [ -s " + dir.path() +
                              "/started ]; then printf '" + then + "' >&3; else echo x >" +
                              dir.path() + "/started; printf '" + first +
                              "' >&3; fi\nexec cat <&3 >/dev/null\n");
        chmod(script.c_str(), 0755);
        helperSetProgram(script.c_str());
    }

    int starts() {
        std::string all = readFile(dir.path() + "/starts");
        return static_cast<int>(std::count(all.begin(), all.end(), '\n'));
    }

    // What one client was told.
    struct Count {
        HelperClient* client = nullptr;
        int answers = 0, lost = 0;
    };

    // Kind 7 with no fields answers; anything else is bad.
    static bool handle(HelperMessage kind, HelperReader& in, void* data) {
        auto* count = static_cast<Count*>(data);
        if (kind != 7 || !in.done()) return false;
        count->answers++;
        count->client->answered();
        return true;
    }
    static void lost(void* data) { static_cast<Count*>(data)->lost++; }

    testsupport::ScratchDir dir;
    std::string script;
    HelperClient* client = nullptr;
    Count count;
};

const char answer[] = "\\001\\000\\000\\000\\007";

TEST_F(HelperClientTest, ABadOrSilentHelperIsReplacedAndItsRequestSentOnce) {
    struct Case {
        const char* what;
        std::string first, then;
        int answers, lost;
    } cases[] = {
        {"length zero", "\\000\\000\\000\\000", answer, 1, 0},
        {"over the cap", "\\377\\377\\377\\377", answer, 1, 0},
        {"an unknown kind", "\\001\\000\\000\\000\\011", answer, 1, 0},
        {"fields that do not parse", "\\002\\000\\000\\000\\007x", answer, 1, 0},
        {"gone without an answer", "", answer, 1, 0},
        {"bad every time", "\\000\\000\\000\\000", "\\000\\000\\000\\000", 0, 1},
    };
    for (const Case& c : cases) {
        unlink((dir.path() + "/starts").c_str());
        unlink((dir.path() + "/started").c_str());
        answers(c.first, c.then);
        count.answers = count.lost = 0;
        if (c.first.empty())
            writeFile(script, "#!/bin/sh\necho x >>" + dir.path() + "/starts\n" + "[ -s " +
                                  dir.path() + "/started ] || { echo x >" + dir.path() +
                                  "/started; exit 0; }\nprintf '" + c.then +
                                  "' >&3\nexec cat <&3 >/dev/null\n");
        ASSERT_TRUE(client->request(HelperWriter(1).frame())) << c.what;
        EXPECT_TRUE(client->wait(20000)) << c.what;
        EXPECT_EQ(count.answers, c.answers) << c.what;
        EXPECT_EQ(count.lost, c.lost) << c.what;
        EXPECT_EQ(starts(), 2) << c.what;  // one retry, no loop
        client->drop(false);
    }
}

// Helpers that end are reaped, whether killed, let go or dead on their own:
// the process keeps no zombie children.
TEST_F(HelperClientTest, EveryHelperThatEndsIsReaped) {
    answers(answer, answer);
    Count otherCount;
    HelperClient other({HELPER_SCAN, handle, lost, &otherCount});
    otherCount.client = &other;
    for (HelperClient* each : {client, &other}) {
        ASSERT_TRUE(each->request(HelperWriter(1).frame()));
        ASSERT_TRUE(each->wait(20000));
    }
    pid_t dead = client->pid();
    ASSERT_GT(dead, 0);
    testsupport::expectHelperDeaths(SIGKILL);
    kill(dead, SIGKILL);
    other.drop(true);
    // The killed one is found gone at the next request, and replaced.
    ASSERT_TRUE(client->request(HelperWriter(1).frame()));
    ASSERT_TRUE(client->wait(20000));
    EXPECT_NE(client->pid(), dead);
    client->drop(false);  // ends at its end of file
    for (int tries = 0; tries < 2000 && helperReapEnded() > 0; tries++)
        g_main_context_iteration(nullptr, FALSE), usleep(5000);
    EXPECT_EQ(helperReapEnded(), 0);
    EXPECT_EQ(testsupport::childProcesses(getpid(), true), std::vector<int>{});
}

// How a helper ends after its answer: a status other than 0, or a death no
// one asked for, is a fault of the test that ran it; a kill by its client,
// or by the test on purpose, is not.
TEST_F(HelperClientTest, HelpersThatFailAreFaultsOfTheTestThatRanThem) {
    const struct {
        const char* end;
        bool killed;
        std::string fault;
    } cases[] = {
        {"exit 0", false, ""},
        {"exit 3", false, "exited with status 3"},
        {"kill -SEGV $$", false, "died of signal 11"},
        {"kill -KILL $$", false, "died of signal 9"},
        {"sleep 600", true, ""},
    };
    answers(answer, answer);
    for (const auto& c : cases) {
        writeFile(script, std::string("#!/bin/sh\nprintf '") + answer +
                              "' >&3\ncat <&3 >/dev/null\n" + c.end + "\n");
        ASSERT_TRUE(client->request(HelperWriter(1).frame())) << c.end;
        ASSERT_TRUE(client->wait(20000)) << c.end;
        client->drop(c.killed);
        for (int tries = 0; tries < 2000 && helperReapEnded() > 0; tries++) usleep(5000);
        std::string faults = testsupport::takeHelperFaults();
        EXPECT_EQ(faults.find(c.fault) != std::string::npos && !faults.empty(), !c.fault.empty())
            << c.end << ": " << faults;
    }
    testsupport::expectHelperDeaths(SIGKILL);
    ASSERT_TRUE(client->request(HelperWriter(1).frame()));
    ASSERT_TRUE(client->wait(20000));
    kill(client->pid(), SIGKILL);
    client->drop(false);
    for (int tries = 0; tries < 2000 && helperReapEnded() > 0; tries++) usleep(5000);
    EXPECT_EQ(testsupport::takeHelperFaults(), "");
}

}  // namespace
