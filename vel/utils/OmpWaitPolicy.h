#pragma once
// OpenMP threads that sleep while they wait.
//
// By default the OpenMP runtime lets idle threads spin for a while before they
// sleep. On a machine shared with the window's rasteriser, another analysis or
// another program, spinning threads take the cores the working threads need,
// and a parallel loop then waits for threads that are not running. The
// runtime reads its wait policy once, when it is loaded, before main() runs:
// the policy can only be chosen for a process before it starts.

namespace vel {
namespace utils {

// Whether the user chose how OpenMP threads wait (OMP_WAIT_POLICY or
// GOMP_SPINCOUNT in the environment).
bool ompWaitPolicyChosen();

// Unless the user chose a wait policy, starts the running program again, with
// the same arguments and environment plus OMP_WAIT_POLICY=passive, in place of
// this process; returns only when the user chose a policy or the program
// cannot be started again (it then runs on with the runtime's default). Call
// it first in main(), before any thread is started. Under valgrind, which
// would lose the process, it does nothing.
void ensurePassiveOmpWaitPolicy();

}  // namespace utils
}  // namespace vel
