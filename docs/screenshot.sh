#!/usr/bin/env bash
# Takes the README's screenshot (docs/main-window.png): starts the program under
# Xvfb with the program's scripted screenshot run (environment variables, not a
# user option), which imports the example data set, starts an A-tSNE from the
# import dialog and grabs the window while the embedding converges.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QLMRN_BUILD_DIR:-$root/build}"
data="$(mktemp -d)"
config="$(mktemp -d)"
trap 'rm -rf "$data" "$config"' EXIT

"$build/examples/qlmrn_make_examples" "$data" >/dev/null
export XDG_CONFIG_HOME="$config"  # leave the user's settings alone
export QLMRN_SCREENSHOT_FILES="$data/sample_1.fcs:$data/sample_2.fcs:$data/sample_3.fcs"
export QLMRN_SCREENSHOT_PNG="$root/docs/main-window.png"
timeout 300 xvfb-run -a -s "-screen 0 1440x900x24" "$build/app/quillmaren"
echo "wrote $QLMRN_SCREENSHOT_PNG"
