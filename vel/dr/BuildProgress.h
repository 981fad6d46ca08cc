#pragma once
// How far a hierarchy build has come, told to the caller, and the caller's
// request to stop it.
//
// The build runs its phases in order: NeighbourGraph and Probabilities for
// scale 0, then LandmarkSelection, AreaOfInfluence and TransitionMatrix for
// every further scale. Each phase reports fraction 0 when it begins, the share
// of its work done while it runs, and 1 when it has ended; within one phase of
// one scale the fractions never decrease.
//
// The callback runs on the thread that called the build (the initial thread of
// its parallel regions), possibly while the other threads of a parallel loop
// go on working. It must not throw and must not touch the hierarchy being
// built; it may call requestStop().
//
// requestStop() may come from any thread at any time. The build notices it
// between two units of work: the parallel loops skip the units left, and the
// next phase boundary (or block boundary of a serial loop) throws Stopped. A
// build that is never asked to stop does exactly the work it does without a
// BuildProgress, so its results do not change.

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <thread>

namespace vel {
namespace dr {

class BuildProgress {
public:
    enum class Phase { NeighbourGraph, Probabilities, LandmarkSelection, AreaOfInfluence, TransitionMatrix };
    using Callback = std::function<void(Phase phase, unsigned int scale, double fraction)>;

    // What the build throws once it has noticed a stop request.
    class Stopped : public std::exception {
    public:
        const char* what() const noexcept override { return "the hierarchy build was stopped"; }
    };

    BuildProgress() = default;
    explicit BuildProgress(Callback callback) : _callback(std::move(callback)) {}
    BuildProgress(const BuildProgress&) = delete;
    BuildProgress& operator=(const BuildProgress&) = delete;

    // Not while a build reports to this object.
    void setCallback(Callback callback) { _callback = std::move(callback); }

    void requestStop() noexcept { _stop.store(true, std::memory_order_relaxed); }
    bool stopRequested() const noexcept { return _stop.load(std::memory_order_relaxed); }
    // Clears a stop request, so that the object can serve the next build.
    void clearStop() noexcept { _stop.store(false, std::memory_order_relaxed); }

    // ---- Called by the build ----
    // A phase of `units` units of work begins on the calling thread; reports
    // fraction 0. Throws Stopped when a stop was requested, also from the callback.
    void begin(Phase phase, unsigned int scale, std::size_t units);
    // `units` more units are done; safe on any thread of the build and inside
    // parallel regions. Reports on the building thread whenever another
    // thousandth of the phase is done. False when a stop was requested: the
    // caller leaves its unit of work undone.
    bool step(std::size_t units = 1);
    // The same between two blocks of a serial loop, outside parallel regions:
    // throws Stopped when a stop was requested.
    void block(std::size_t units);
    // The phase has ended: throws Stopped when a stop was requested (its work
    // may be incomplete), otherwise reports fraction 1.
    void end();

private:
    void report(double fraction);

    Callback _callback;
    std::atomic<bool> _stop{false};
    std::atomic<std::size_t> _done{0};
    // Written by begin() on the building thread before any step() of the
    // phase; read by step() on every thread of the phase.
    Phase _phase = Phase::NeighbourGraph;
    unsigned int _scale = 0;
    std::size_t _units = 0;
    std::thread::id _builder;
    // Touched by the building thread only.
    std::size_t _reportedThousandths = 0;
};

}  // namespace dr
}  // namespace vel
