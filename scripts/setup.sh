#!/usr/bin/env bash
# Installs everything the build and the tests need, idempotently: Debian packages
# through apt-get and the pinned JavaScript/header packages through npm ci.
# Safe to run again: it installs only what is missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  build-essential cmake pkg-config ccache git clang-format
  qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5webkit5-dev qt5-image-formats-plugins
  libflann-dev liblz4-dev libhnswlib-dev libtiff-dev libxxhash-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openbox libgl1-mesa-dri libgl-dev libxcb1-dev libepoxy-dev mesa-utils libegl-dev libegl-mesa0
  nodejs npm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    # node may come from elsewhere than Debian; only ask apt for it when absent
    if [[ "$p" == nodejs && -x "$(command -v node || true)" ]]; then continue; fi
    if [[ "$p" == npm && -x "$(command -v npm || true)" ]]; then continue; fi
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: Debian packages present"
fi

# Pinned npm packages (header-only Annoy and, later, the page libraries).
# Scripts are never run: we only take files out of the packages.
cd "$root"
stamp="node_modules/.setup-stamp"
if [[ ! -f "$stamp" || package-lock.json -nt "$stamp" ]]; then
  echo "setup: npm ci"
  npm ci --ignore-scripts --no-audit --no-fund --loglevel=error
  touch "$stamp"
else
  echo "setup: npm packages present"
fi
