// The scan helper's service (protocol/scan_messages.h): scans image folders
// and keeps the kept list, for the dialog's scan client (clients/cdscan.h).
#pragma once

// Answers each scan request on fd in turn until the dialog is gone or sends a
// bad message.
void cdscanServe(int fd);
