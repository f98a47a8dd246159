#!/usr/bin/env bash
# Checks with clang-format (.clang-format) the lines that this change
# touches, never the rest of a file: the code is not reformatted wholesale.
# The change is everything since this branch left main (the merge base with
# main's upstream, or with main); on main itself, where that merge base is
# HEAD, it is what HEAD brought in over its first parent. Uncommitted edits
# count too. Prints clang-format's diff and fails when it would change
# anything; fix with `git clang-format BASE` (the base is printed).
# Usage: check-format.sh [BASE]
set -euo pipefail
cd "$(dirname "$0")/.."

base=${1:-}
if [ -z "$base" ]; then
  for ref in 'main@{upstream}' origin/main main; do
    git rev-parse -q --verify "$ref^{commit}" >/dev/null 2>&1 || continue
    base=$(git merge-base HEAD "$ref" 2>/dev/null) && break
  done
  if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
    base=$(git rev-parse -q --verify 'HEAD^1' || true)
  fi
fi
if [ -z "$base" ]; then
  echo "format: no earlier commit to compare with (a shallow or one-commit checkout): nothing checked"
  exit 0
fi

echo "format: the lines changed since $(git log -1 --format='%h %s' "$base")"
out=$(git clang-format --extensions c,h,cpp --diff "$base" 2>&1) || { echo "$out"; exit 2; }
if grep -q '^diff --git' <<<"$out"; then
  echo "$out"
  echo "format: clang-format would change the lines above; run: git clang-format $base"
  exit 1
fi
echo "format: $out"
