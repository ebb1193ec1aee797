// The main function of the test programs without a display: the helpers'
// launcher is forked first, as the dialog does, then the tests run.
#include <gtest/gtest.h>

#include "app/helpers.h"

int main(int argc, char** argv) {
    appLaunchHelpers();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
