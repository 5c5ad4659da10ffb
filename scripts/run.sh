#!/usr/bin/env bash
# Builds Tarn and runs it on the bundled samples: the desktop application when a display is
# present, else a search of the samples from the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_BUILD_TESTS=OFF

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/src/app/tarn ]; then
  exec build/src/app/tarn samples
elif [ -x build/src/app/tarngrep ]; then
  exec build/src/app/tarngrep --encoding utf-8 "東京" samples "*.txt"
else
  # Until the search run exists, show the pattern engine at work.
  build/src/app/tarnre "東京|大阪" "今日は東京へ行く" "明日は大阪"
  exec build/src/app/tarnre "^[あ-ん]+$"
fi
