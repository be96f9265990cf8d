#!/usr/bin/env bash
# Builds everything, makes the demo server and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"
echo "No program is built yet: the build is complete, there is nothing to start."
