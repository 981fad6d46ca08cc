#!/usr/bin/env bash
# Takes the README's screenshot (docs/main-window.png): runs the screenshot
# program (qlmrn_screenshot_run, built beside the application but not part of
# it) under Xvfb; it opens the main window, imports the example data set,
# starts an A-tSNE from the import dialog and grabs the window while the
# embedding converges.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QLMRN_BUILD_DIR:-$root/build}"
data="$(mktemp -d)"
config="$(mktemp -d)"
trap 'rm -rf "$data" "$config"' EXIT

"$build/examples/qlmrn_make_examples" "$data" >/dev/null
export XDG_CONFIG_HOME="$config"  # leave the user's settings alone
png="$root/docs/main-window.png"
timeout 300 xvfb-run -a -s "-screen 0 1440x900x24" "$build/app/qlmrn_screenshot_run" "$png" \
  "$data/sample_1.fcs" "$data/sample_2.fcs" "$data/sample_3.fcs"
echo "wrote $png"
