#!/usr/bin/env bash
# Fails when a source folder includes a folder above it: every include must point down.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [core]="core"
  [pattern]="core pattern"
  [search]="core pattern search"
  [settings]="core settings"
  [storage]="core pattern search settings storage"
  [editor]="core editor"
  [ui]="core pattern search settings storage editor ui"
  [app]="core pattern search settings storage editor ui app"
)

status=0
for dir in "${!allowed[@]}"; do
  for tree in src tests; do
    [ -d "$tree/$dir" ] || continue
    while IFS=: read -r file _ include; do
      target=${include#*\"}
      target=${target%%/*}
      if [[ " ${allowed[$dir]} " != *" $target "* ]]; then
        echo "upward include: $file includes $target/" >&2
        status=1
      fi
    done < <(grep -rnE '^#include "[a-z_]+/' "$tree/$dir" || true)
  done
done
exit $status
