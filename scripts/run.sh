#!/usr/bin/env bash
# Sets up, builds and starts Quillmaren. On first use it writes a small example
# data set (three FCS files) into examples/data/ to open with File > Open File(s).
# Without a display the program runs under Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/build.sh
build="${QLMRN_BUILD_DIR:-$root/build}"

examples="$root/examples/data"
if [[ ! -f "$examples/sample_1.fcs" ]]; then
  "$build/examples/qlmrn_make_examples" "$examples"
fi
echo "Example data: $examples (open the .fcs files with File > Open File(s) ...)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting under Xvfb."
  exec xvfb-run -a -s "-screen 0 1920x1200x24" "$build/app/quillmaren" "$@"
fi
exec "$build/app/quillmaren" "$@"
