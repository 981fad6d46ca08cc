#pragma once
// An exception must not leave an OpenMP region: the bodies of a parallel loop
// run guarded, the first exception caught is kept, and it is rethrown on the
// calling thread once the loop has ended.

#include <exception>
#include <utility>

namespace vel {
namespace utils {

class LoopFailure {
public:
    // Runs body; an exception it throws is kept when none is yet (the others
    // are dropped) and does not propagate.
    template <typename Body>
    void guard(Body&& body) noexcept {
        try {
            std::forward<Body>(body)();
        } catch (...) {
#pragma omp critical(vel_loop_failure)
            if (!m_failure) m_failure = std::current_exception();
        }
    }
    // Rethrows the kept exception, if any.
    void rethrow() const {
        if (m_failure) std::rethrow_exception(m_failure);
    }

private:
    std::exception_ptr m_failure;
};

}  // namespace utils
}  // namespace vel
