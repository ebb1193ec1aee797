// A helper's one receive loop: each request comes on the dialog's socket
// with the dialog's folder as a descriptor; the loop enters that folder, so
// relative names are the dialog's, and hands the request to its kind's
// service (helper/scan, helper/hash, helper/discid), which answers it.
#pragma once

#include "protocol/frames.h"

// Serves requests on fd as the kind's service until the dialog is gone, sends
// a bad message, or the service cannot start; false at once for a kind that
// has no service.
bool helperServe(int fd, HelperKind kind);
