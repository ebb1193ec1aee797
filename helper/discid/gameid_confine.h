// The confinement of an ID reader: a disc image comes from anywhere, so the
// process that parses it gives up every right it does not need to read one,
// as desktops confine their thumbnailers.
#pragma once

// Whether readers are confined in this build: a sanitizer's runtime writes
// its reports to files and maps memory as it likes, so sanitizer builds run
// their readers unconfined (GCC defines __SANITIZE_*, clang __has_feature).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kGameidConfined = false;
#elif defined(__has_feature)
constexpr bool kGameidConfined =
    !(__has_feature(address_sanitizer) || __has_feature(thread_sanitizer));
#else
constexpr bool kGameidConfined = true;
#endif

// Sets PR_SET_NO_NEW_PRIVS and installs a seccomp filter that allows reading
// files (opened read-only), their status and listings, entering a folder, a
// drive's status, memory for the process, messages on socketFd only, and
// exit; any other call ends the process (SIGSYS). Call once the reader has
// started, before it reads any disc. False when the filter cannot be installed.
bool gameidConfine(int socketFd);
