#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. All tests share one Xvfb
# server (widget and OpenGL tests draw into it with Mesa's software renderer).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/build.sh
build="${QLMRN_BUILD_DIR:-$root/build}"
xvfb-run -a -s "-screen 0 1920x1200x24" \
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
