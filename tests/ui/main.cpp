#include <gtest/gtest.h>

#include "support/gui.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!testsupport::startGtk(&argc, &argv)) return 1;
    return RUN_ALL_TESTS();
}
