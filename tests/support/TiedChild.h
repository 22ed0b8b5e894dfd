#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace zelvar::test {

// Runs in a child process between fork and exec: the child is killed when
// the test that started it ends, also by a crash or a kill, so that no
// emulator outlives its test. `parent` is the test's process id.
inline void DieWithParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The test may have died before the line above took effect.
    if (::getppid() != parent) ::_exit(127);
}

}  // namespace zelvar::test
