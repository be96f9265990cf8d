#!/usr/bin/env bash
# Builds everything, makes the two demo servers (once: remove build/demo/server
# to start again from fresh data) and starts Kelvimport on them, or Numfix
# with "./run-demo.sh numfix".
# Log in as DEMO with the password DEMO: the configuration KELVADO is the
# source server, VOVDEMO the destination.
set -euo pipefail
cd "$(dirname "$0")"
program=Kelvimport
case "${1:-}" in
  "") ;;
  numfix) program=Numfix ;;
  *) echo "usage: $0 [numfix]" >&2; exit 2 ;;
esac
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"
# Both together: a destination made before the source server existed lacks
# what the import needs.
if [ ! -f build/demo/server/vovdemo.qdb ] || [ ! -f build/demo/server/kelvado.qdb ]; then
  demo/make-destination.sh build/bin/qorserver build/demo/server >/dev/null
  demo/make-source.sh build/bin/qorserver build/demo/server >/dev/null
fi
export QOR_REGISTRY=$PWD/demo/qodbclients.reg
export QORDB_ROOT=$PWD/build/demo/server
# Numfix reads SMS_tel_sablon.ini from its working folder and appends SMS_converter.log there.
cd build/demo/server
exec ../../bin/$program
