// The helper processes' services, one per kind: the launcher's dispatch.
#pragma once

#include "util/helper.h"

// Runs the service of kind on fd; the launcher calls it in each new helper.
void appServeHelper(HelperKind kind, int fd);

// Forks the launcher with this dispatch: the first thing main does.
int appLaunchHelpers();
