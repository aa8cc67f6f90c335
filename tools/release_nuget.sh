#!/usr/bin/env bash
# File: release_nuget.sh
#
# Writes ZqCrypt.VERSION.nupkg into <output folder> for tools/release.sh, from
# the libraries it staged: the wrapper compiled from the sources, the 32-bit
# and x64 zqcrypt.dll as win-x86 and win-x64, the x86-64, i386 and AArch64
# libzqcrypt.so as linux-x64, linux-x86 and linux-arm64.
# The version comes from the project() line of CMakeLists.txt; the package
# names the repository (project page, and the commit) only when
# ZQ_REPOSITORY_URL gives its public address. The same commit and time
# (SOURCE_DATE_EPOCH) give the same bytes.
#
# Usage: release_nuget.sh <release work folder> <output folder>
#   The work folder holds source/ (the tree packed) and stage/zqcrypt-VERSION-*.
set -euo pipefail
work=$1 output=$2
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(zqcrypt VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
stage="$work/stage/zqcrypt-$version"
natives=(win-x86="$stage-win32/bin/zqcrypt.dll"
         win-x64="$stage-win64/bin/zqcrypt.dll"
         linux-x64="$stage-linux-x86_64/lib/libzqcrypt.so"
         linux-x86="$stage-linux-i386/lib/libzqcrypt.so"
         linux-arm64="$stage-linux-aarch64/lib/libzqcrypt.so")
for native in "${natives[@]}"; do
  [ -f "${native#*=}" ] || { echo "release_nuget.sh: no ${native#*=}" >&2; exit 1; }
done
echo "=== nuget"
/usr/bin/python3 "$source/bindings/dotnet/nuget/pack_nuget.py" --version "$version" --output "$output" \
  --repository "${ZQ_REPOSITORY_URL:-}" --commit "$(git rev-parse HEAD)" \
  "${natives[@]}" >/dev/null
