// The helpers of a test program: the program is its own helper, and a helper
// that fails fails the test that ran it. A sanitizer build sends its helpers'
// reports to a log folder of the run; every test ends with a look at that
// folder and at the helpers reaped meanwhile, and fails on a report or on a
// helper that died or exited with a status other than 0 unless its client
// killed it or the test expected its death.
#pragma once

#include <string>

namespace testsupport {

// Enters helper mode when the program was started as a helper (it ends
// there), otherwise sets up the watch. First thing in main; the watch's
// listener needs InitGoogleTest, so this calls it.
void startTestProgram(int* argc, char** argv);
// Removes the log folder; false when a fault was found after the last test.
bool endTestProgram();
// The faults found since the last look, each on a line of its own (reports
// in full), read and removed; "" when there is none. Each test's end looks.
std::string takeHelperFaults();
// Helpers the running test makes die by signal on purpose (a reader's crash
// on a chosen disc: SIGKILL) do not fail it.
void expectHelperDeaths(int signal);

}  // namespace testsupport
