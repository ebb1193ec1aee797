// The main function of the test programs that use the display: GTK started
// first, toolkit warnings fatal, and the user's own data folders left alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/gui.h"
#include "support/helpers.h"

int main(int argc, char** argv) {
    // Started as a helper, the program is that alone, before GTK starts.
    testsupport::startTestProgram(&argc, argv);
    // File choosers record accepted files among the recently used ones: keep
    // that record in a scratch folder rather than the user's own.
    char data[] = "/tmp/discwren-data-XXXXXX";
    if (!mkdtemp(data)) return 1;
    setenv("XDG_DATA_HOME", data, 1);
    if (!testsupport::startGtk(&argc, &argv)) return 1;
    // A warning or critical from the toolkit is a fault of ours: stop there.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
    int result = RUN_ALL_TESTS();
    testsupport::removeTree(data);
    return testsupport::endTestProgram() ? result : 1;
}
