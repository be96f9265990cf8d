#!/usr/bin/env bash
# Builds everything and runs every test. QOR_SANITIZE=ON builds with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
sanitize=${QOR_SANITIZE:-OFF}
build=build; [ "$sanitize" = ON ] && build=build-asan
cmake -S . -B "$build" -G Ninja -DQOR_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
