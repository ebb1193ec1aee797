#include "helper/discid/gameid_confine.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <initializer_list>

namespace {

// Allows call when its argument checks (if any) hold.
bool allow(scmp_filter_ctx filter, int call, std::initializer_list<scmp_arg_cmp> checks = {}) {
    return seccomp_rule_add_array(filter, SCMP_ACT_ALLOW, call, checks.size(), checks.begin()) == 0;
}

bool addRules(scmp_filter_ctx filter, int socketFd) {
    const scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC;
    const scmp_datum_t descriptor = static_cast<scmp_datum_t>(socketFd);
    bool ok = true;
    // Files, read-only: anything that could write, create or truncate is refused.
    ok = ok && allow(filter, SCMP_SYS(open), {SCMP_A1_32(SCMP_CMP_MASKED_EQ, writing, 0)});
    ok = ok && allow(filter, SCMP_SYS(openat), {SCMP_A2_32(SCMP_CMP_MASKED_EQ, writing, 0)});
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek),
                     SCMP_SYS(close), SCMP_SYS(fstat), SCMP_SYS(stat), SCMP_SYS(lstat),
                     SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(access), SCMP_SYS(faccessat),
                     SCMP_SYS(faccessat2), SCMP_SYS(getdents64), SCMP_SYS(fchdir)})
        ok = ok && allow(filter, call);
    // A drive's status, and nothing else a device is asked.
    ok = ok && allow(filter, SCMP_SYS(ioctl), {SCMP_A1_64(SCMP_CMP_EQ, CDROM_DRIVE_STATUS, 0)});
    // Memory, never executable.
    ok = ok && allow(filter, SCMP_SYS(mmap), {SCMP_A2_32(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)});
    ok = ok && allow(filter, SCMP_SYS(mprotect), {SCMP_A2_32(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)});
    for (int call : {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(madvise)})
        ok = ok && allow(filter, call);
    // Its own socket.
    for (int call : {SCMP_SYS(recvmsg), SCMP_SYS(sendmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendto),
                     SCMP_SYS(write)})
        ok = ok && allow(filter, call, {SCMP_A0_64(SCMP_CMP_MASKED_EQ, 0xffffffff, descriptor)});
    // Waiting for room on the socket; time; the process's end.
    for (int call : {SCMP_SYS(poll), SCMP_SYS(ppoll), SCMP_SYS(futex), SCMP_SYS(clock_gettime),
                     SCMP_SYS(gettimeofday), SCMP_SYS(rt_sigreturn), SCMP_SYS(restart_syscall),
                     SCMP_SYS(exit), SCMP_SYS(exit_group)})
        ok = ok && allow(filter, call);
    // Signals to itself only, so that abort() ends it as SIGABRT, as a crash
    // should look, rather than as a refused call.
    const scmp_datum_t self = static_cast<scmp_datum_t>(getpid());
    for (int call : {SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(rt_sigprocmask)})
        ok = ok && allow(filter, call);
    ok = ok && allow(filter, SCMP_SYS(tgkill), {SCMP_A0_32(SCMP_CMP_EQ, self)});
    ok = ok && allow(filter, SCMP_SYS(kill), {SCMP_A0_32(SCMP_CMP_EQ, self)});
    return ok;
}

}  // namespace

bool gameidConfine(int socketFd) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) return false;
    bool ok = addRules(filter, socketFd) && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}
