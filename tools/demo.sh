#!/usr/bin/env bash
# Builds every target of zqcrypt (Linux x86-64, Linux i386, zqcrypt.dll) and
# runs the demo host against the Linux library.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
for preset in linux linux32 win32; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
done
echo "=== demo"
build/linux/bin/zqcrypt_demo "$@"
