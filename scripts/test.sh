#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. All tests of a run share one
# Xvfb server (widget and OpenGL tests draw into it with Mesa's software
# renderer). In CI (CI=true) warnings are errors, and after the ordinary run
# the whole suite runs once more in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-sanitize/ beside the build folder). Extra
# arguments go to both ctest runs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
start=$SECONDS
ci="${CI:-false}"

# House checks first, they take a second: one format for the tree, no include
# from a layer above.
bash scripts/check-format.sh
bash scripts/check-layers.sh

build_args="${QLMRN_CMAKE_ARGS:-}"
if [[ "$ci" == true ]]; then
  export QLMRN_CMAKE_ARGS="-DQLMRN_WERROR=ON $build_args"
fi
bash scripts/build.sh
build="${QLMRN_BUILD_DIR:-$root/build}"
echo "test.sh: built after $((SECONDS - start)) s"

# Test processes run side by side: OpenMP workers that spin while they wait
# would take the cores from the other processes.
export OMP_WAIT_POLICY=passive

run_suite() {
  xvfb-run -a -s "-screen 0 1920x1200x24 -maxclients 512" \
    ctest --test-dir "$1" --output-on-failure --parallel "$(nproc)" "${@:2}"
}

# The ordinary run comes first: it fails sooner and says more on an ordinary
# fault, and a failure ends the script (set -e) before the sanitizer build.
run_suite "$build" "$@"
echo "test.sh: tests done after $((SECONDS - start)) s"

if [[ "$ci" == true ]]; then
  # Every test binary, with the program and the example generator that the
  # shell tests start; the benchmarks and the developer tools are left out.
  # Warnings are the ordinary build's business. Nothing is filtered: every
  # test runs under the sanitizers.
  QLMRN_SKIP_SETUP=1 QLMRN_BUILD_DIR="$build-sanitize" \
    QLMRN_CMAKE_ARGS="-DQLMRN_SANITIZE=ON -DQLMRN_BUILD_BENCH=OFF -DQLMRN_BUILD_TOOLS=OFF $build_args" \
    bash scripts/build.sh
  echo "test.sh: sanitizer build done after $((SECONDS - start)) s"
  # Any undefined behaviour or memory error ends its test process with a
  # report. Mesa and the OpenMP runtime keep allocations until exit: leaks are
  # not checked.
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_suite "$build-sanitize" "$@"
fi
echo "test.sh: done in $((SECONDS - start)) s"
