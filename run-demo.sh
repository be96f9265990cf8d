#!/usr/bin/env bash
# Builds everything, makes the destination demo server (once: remove build/demo/server
# to start again from fresh data) and starts Numfix on it.
# Log in as DEMO with the password DEMO and choose the database VOVDEMO.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"
if [ ! -f build/demo/server/vovdemo.qdb ]; then
  demo/make-destination.sh build/bin/qorserver build/demo/server >/dev/null
fi
export QOR_REGISTRY=$PWD/demo/qodbclients.reg
export QORDB_ROOT=$PWD/build/demo/server
# Numfix reads SMS_tel_sablon.ini from its working folder and appends SMS_converter.log there.
cd build/demo/server
exec ../../bin/Numfix
