// The hash helper's messages, in frames as protocol/frames.h describes.
//
//   kind      from    fields                       meaning
//   HASH      dialog  str file; with it, the       hash this data file (a relative one is
//                     dialog's folder as a         taken from the dialog's folder)
//                     descriptor (SCM_RIGHTS)
//   PROGRESS  hash    i64 done, i64 total          bytes hashed so far (total -1: unknown)
//   DIGEST    hash    i32 result, 16 bytes         the answer: md5File's result and digest;
//                                                  a zero digest with why there is none:
//                                                  MD5_MISSING (no such file or drive),
//                                                  MD5_NO_DISC (a drive without a disc or
//                                                  data), MD5_UNREADABLE (anything else, the
//                                                  dialog's folder that cannot be entered too)
//
// Every HASH gets exactly one DIGEST; the dialog sends the next only after it,
// and the helper answers each in turn. A file name is at most MD5_FILE_MAX
// bytes; the helper takes anything else as the end of the dialog.
#pragma once

#include <cstddef>

#include "protocol/frames.h"

enum Md5Message : HelperMessage {
    MD5_MSG_HASH = 16,
    MD5_MSG_PROGRESS,
    MD5_MSG_DIGEST,
};

constexpr size_t MD5_FILE_MAX = 4095;
