// A helper-only executable, never installed: the helpers of programs whose
// main is not their own (the fuzz targets), and the start-up benchmark's
// reference for a helper that loads nothing of GTK.
#include "helper/helper_main.h"

int main(int argc, char* argv[]) {
    helperMainIfStarted(argc, argv);
    return 2;
}
