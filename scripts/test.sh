#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. All tests share one Xvfb
# server (widget and OpenGL tests draw into it with Mesa's software renderer).
# In CI (CI=true) warnings are errors, and Velkit and the data layer are also
# built with AddressSanitizer and UndefinedBehaviorSanitizer and their tests
# run in that build first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
start=$SECONDS
ci="${CI:-false}"
if [[ "$ci" == true ]]; then
  export QLMRN_CMAKE_ARGS="-DQLMRN_WERROR=ON ${QLMRN_CMAKE_ARGS:-}"
fi
bash scripts/build.sh
build="${QLMRN_BUILD_DIR:-$root/build}"

# Test processes run side by side: OpenMP workers that spin while they wait
# would take the cores from the other processes.
export OMP_WAIT_POLICY=passive

# House checks: one format for the tree, no include from a layer above.
bash scripts/check-format.sh
bash scripts/check-layers.sh

if [[ "$ci" == true ]]; then
  sanitize="$root/build-sanitize"
  if [[ ! -f "$sanitize/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$sanitize" -DCMAKE_BUILD_TYPE=Release -DQLMRN_SANITIZE=ON \
      -DQLMRN_BUILD_BENCH=OFF
  fi
  cmake --build "$sanitize" --parallel "$(nproc)" --target test_vel test_data
  # Mesa and the OpenMP runtime keep allocations until exit: leaks are not checked.
  export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1
  for t in tests/vel/test_vel tests/data/test_data; do
    echo "== $t (AddressSanitizer, UndefinedBehaviorSanitizer)"
    xvfb-run -a -s "-screen 0 1920x1200x24" "$sanitize/$t" --gtest_brief=1
  done
  unset ASAN_OPTIONS UBSAN_OPTIONS
  echo "test.sh: sanitizer runs done after $((SECONDS - start)) s"
fi

xvfb-run -a -s "-screen 0 1920x1200x24 -maxclients 512" \
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
echo "test.sh: done in $((SECONDS - start)) s"
