// The hash helper's service (protocol/hash_messages.h), for the dialog's
// hash client (clients/md5job.h).
#pragma once

// Answers each hash request on fd in turn until the dialog is gone.
void md5Serve(int fd);
