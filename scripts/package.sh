#!/usr/bin/env bash
# Builds the release configuration and makes the Debian package nuvtool_VERSION_ARCH.deb in
# build/release; prints its path, its files and its control data, and fails when lintian finds
# an error in it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
cmake --preset release >/dev/null
cmake --build --preset release
(cd build/release && cpack -G DEB)

deb=$(ls -t build/release/nuvtool_*.deb | head -n 1)
echo "$deb"
dpkg -c "$deb"
dpkg -I "$deb"
report=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
if [ -n "$report" ]; then echo "$report" >&2; fi
if grep -q '^E: ' <<<"$report"; then
  echo "lintian found errors in $deb" >&2
  exit 1
fi
