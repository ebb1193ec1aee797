// The hash helper's service (MD5_MSG_HASH, protocol/messages.h), for the
// dialog's hash client (clients/md5job.h).
#pragma once

#include "protocol/frames.h"

// Answers one request on fd, in the dialog's folder when entered is 0 (else
// why it could not be entered), sending its progress as it goes; false when
// the request is bad or the dialog is gone.
bool md5ServiceHandle(int fd, HelperMessage kind, HelperReader& in, int entered);
