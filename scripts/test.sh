#!/usr/bin/env bash
# Builds Tarn and runs every test: once as built normally, once under AddressSanitizer and
# UndefinedBehaviorSanitizer (a sanitizer report fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-layers.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The run command may have configured build/ without tests: switch them on whatever the cache
# holds, and let an empty test set fail.
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure --no-tests=error -j2
# The installed layout on a private virtual X display, driven by real key events.
bash scripts/e2e.sh build
# The Debian package: lintian, desktop entry, metadata, manual pages, the unpacked programs.
bash scripts/package-check.sh build

bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON -DTARN_BUILD_TESTS=ON
ctest --test-dir build-asan --output-on-failure --no-tests=error -j2
