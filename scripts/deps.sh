#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# and those named as arguments (fuzz/run.sh adds clang's).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
          qt6-base-dev qt6-translations-l10n xvfb xauth fonts-dejavu-core python3 "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
