#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the tree's one style (.clang-format).
# Reformat with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
bad=()
while IFS= read -r f; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done < <(git ls-files '*.cpp' '*.h')
if ((${#bad[@]})); then
  echo "check-format: ${#bad[@]} file(s) not formatted:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: all files formatted"
