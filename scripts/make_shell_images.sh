#!/usr/bin/env bash
# Regenerates the shell's committed PNGs (application icon, expander arrows,
# About logos) in resources/ with our own QPainter program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -fPIC -O1 -o "$tmp/make_shell_images" "$root/scripts/make_shell_images.cpp" \
  $(pkg-config --cflags --libs Qt5Gui)
mkdir -p "$root/resources/Icons" "$root/resources/About"
QT_QPA_PLATFORM=offscreen "$tmp/make_shell_images" "$root/resources"
