#pragma once
// Hands the pages that the C library's allocator keeps free back to the
// system. Large steps (a neighbour index, the kNN lists) free much memory in
// small pieces on one thread's heap while later steps allocate on the heaps of
// other threads: without this the freed pages stay resident. Only the GNU C
// library offers it; elsewhere it does nothing.

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vel {
namespace utils {

inline void releaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace utils
}  // namespace vel
