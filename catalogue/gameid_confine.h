// The confinement of an ID reader: a disc image comes from anywhere, so the
// process that parses it gives up every right it does not need to read one,
// as desktops confine their thumbnailers.
#pragma once

// Sets PR_SET_NO_NEW_PRIVS and installs a seccomp filter that allows reading
// files (opened read-only), their status and listings, entering a folder, a
// drive's status, memory for the process, messages on socketFd only, and
// exit; any other call ends the process (SIGSYS). Call once the reader has
// started, before it reads any disc. False when the filter cannot be installed.
bool gameidConfine(int socketFd);
