// The main function of the test programs without a display: helpers are
// started from the built helper program, then the tests run.
#include <gtest/gtest.h>

#include "util/helper.h"

int main(int argc, char** argv) {
    helperSetProgram(DISCWREN_HELPER);  // the built helper, not one beside this program
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
