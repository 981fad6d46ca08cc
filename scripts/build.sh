#!/usr/bin/env bash
# Sets up the machine (unless QLMRN_SKIP_SETUP=1) and builds everything into build/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [[ "${QLMRN_SKIP_SETUP:-0}" != 1 ]]; then
  bash scripts/setup.sh
fi

# ccache keys on absolute paths; the base dir lets a fresh clone reuse the cache.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1

build="${QLMRN_BUILD_DIR:-$root/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release ${QLMRN_CMAKE_ARGS:-}
fi
cmake --build "$build" --parallel "$(nproc)"
