#!/usr/bin/env bash
# Takes the README's screenshots: runs the screenshot program
# (qlmrn_screenshot_run, built beside the application but not part of it)
# under Xvfb on the example data set.
#   docs/main-window.png    the main window while an A-tSNE started from the
#                           import dialog converges;
#   docs/hsne-drill-down.png an HSNE overview with a selection of its clusters
#                           beside the level opened by "Zoom into Selection.";
#   docs/focus-context.png  a focus-and-context map refined in one cluster by
#                           "Set focus and differentiate." beside its tree in
#                           the "Focus + Context Tree View";
#   docs/spade-tree.png     the SPADE tree of the example data with a bubble;
#   docs/heat-map.png       an A-tSNE's density clusters beside their heat map.
# Usage: docs/screenshot.sh [tsne|hsne|fc|spade|heat]   (every picture when none is named)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QLMRN_BUILD_DIR:-$root/build}"
which="${1:-all}"
case "$which" in
  all | tsne | hsne | fc | spade | heat) ;;
  *)
    echo "usage: $0 [tsne|hsne|fc|spade|heat]" >&2
    exit 2
    ;;
esac
data="$(mktemp -d)"
config="$(mktemp -d)"
trap 'rm -rf "$data" "$config"' EXIT

"$build/examples/qlmrn_make_examples" "$data" >/dev/null
export XDG_CONFIG_HOME="$config"  # leave the user's settings alone
samples=("$data/sample_1.fcs" "$data/sample_2.fcs" "$data/sample_3.fcs")

# take SECONDS PNG [--hsne-drill-down|--focus-context|--spade-tree|--heat-map]
take() {
  local seconds="$1" png="$2"
  shift 2
  timeout "$seconds" xvfb-run -a -s "-screen 0 1440x900x24" "$build/app/qlmrn_screenshot_run" "$@" "$png" \
    "${samples[@]}"
  echo "wrote $png"
}

# The limits are generous for a busy machine. The HSNE run builds the
# hierarchy (its cache files go into the temporary data folder), then embeds
# two levels of 1,000 iterations each; the focus-and-context run builds its
# own and embeds the top scale and the refined map.
if [[ "$which" == all || "$which" == tsne ]]; then take 900 "$root/docs/main-window.png"; fi
if [[ "$which" == all || "$which" == hsne ]]; then
  take 900 "$root/docs/hsne-drill-down.png" --hsne-drill-down
fi
if [[ "$which" == all || "$which" == fc ]]; then
  take 900 "$root/docs/focus-context.png" --focus-context
fi
if [[ "$which" == all || "$which" == spade ]]; then
  take 900 "$root/docs/spade-tree.png" --spade-tree
fi
if [[ "$which" == all || "$which" == heat ]]; then
  take 900 "$root/docs/heat-map.png" --heat-map
fi
