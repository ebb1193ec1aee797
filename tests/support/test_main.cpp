// The main function of the test programs without a display: the program is
// its own helper, then the tests run.
#include <gtest/gtest.h>

#include "support/helpers.h"

int main(int argc, char** argv) {
    testsupport::startTestProgram(&argc, argv);
    int result = RUN_ALL_TESTS();
    return testsupport::endTestProgram() ? result : 1;
}
