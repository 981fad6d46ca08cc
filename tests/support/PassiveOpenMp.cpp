// Linked into every test and benchmark program: before main() they start
// again with OpenMP threads that sleep while they wait, unless the caller
// chose a wait policy. Test programs run side by side, and benchmarks share
// the machine with the window or other jobs: spinning threads would take the
// cores from the threads that work.
#include "vel/utils/OmpWaitPolicy.h"

namespace {

[[gnu::constructor]] void passiveOpenMp() { vel::utils::ensurePassiveOmpWaitPolicy(); }

}  // namespace
