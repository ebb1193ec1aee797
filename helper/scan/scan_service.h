// The scan helper's service (SCAN_MSG_SCAN and SCAN_MSG_KEEP,
// protocol/messages.h): scans image folders and keeps the kept list, for the
// dialog's scan client (clients/cdscan.h).
#pragma once

#include "protocol/frames.h"

// Readies the scan tree, whose reports go to the dialog on fd.
bool cdscanServiceStart(int fd);
// Answers one request on fd, in the dialog's folder when entered is 0 (else
// why it could not be entered); false when the request is bad or the dialog
// is gone.
bool cdscanServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered);
