// The exec-to-window timing lives with the tests' support, which both the
// start-up benchmarks and its own test link.
#pragma once

#include "support/window_start.h"
