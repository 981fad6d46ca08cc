#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own. The layers, in
# order (each may use only those before it):
#   vel  data  analysis  render  ui  app
# Also: Velkit includes no Qt header, and the shared rooms of ui/ (base, web,
# plot, datapanels) include no feature room (tsne, hsne, ...): a feature
# registers itself with them, never the other way round.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

rank() {
  case "$1" in
    vel) echo 0 ;; data) echo 1 ;; analysis) echo 2 ;; render) echo 3 ;; ui) echo 4 ;; app) echo 5 ;;
    *) echo -1 ;;
  esac
}

bad=0
while IFS= read -r file; do
  layer="${file%%/*}"
  own=$(rank "$layer")
  ((own >= 0)) || continue
  room=""
  if [[ "$layer" == ui ]]; then
    rest="${file#ui/}"
    [[ "$rest" == */* ]] && room="${rest%%/*}"
  fi
  while IFS= read -r line; do
    num="${line%%:*}"
    inc="${line#*:}"
    if [[ "$inc" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/([^\"]*)\" ]]; then
      target="${BASH_REMATCH[1]}"
      path="${BASH_REMATCH[2]}"
      other=$(rank "$target")
      if ((other > own)); then
        echo "$file:$num: $layer includes $target/$path from a layer above it" >&2
        bad=1
      fi
      if [[ "$layer" == ui && "$target" == ui && "$path" == */* ]]; then
        to="${path%%/*}"
        case "$room" in
          base | web | plot | datapanels)
            case "$to" in
              base | web | plot | datapanels) ;;
              *)
                echo "$file:$num: the shared room ui/$room includes the feature room ui/$to" >&2
                bad=1
                ;;
            esac
            ;;
        esac
      fi
    elif [[ "$layer" == vel && "$inc" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]]; then
      echo "$file:$num: Velkit includes a Qt header" >&2
      bad=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files '*.cpp' '*.h')

if ((bad)); then
  echo "check-layers: includes across layers found (see above)" >&2
  exit 1
fi
echo "check-layers: every include stays within its layer or below"
