#include <gtest/gtest.h>

#include "support/gui.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!testsupport::startGtk(&argc, &argv)) return 1;
    // A warning or critical from the toolkit is a fault of ours: stop there.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
    return RUN_ALL_TESTS();
}
