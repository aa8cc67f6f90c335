#!/usr/bin/env bash
# Builds the Debian packages of the committed tree (HEAD) with
# `dpkg-buildpackage -us -uc -b`, in a clone of this repository made in
# <work folder>, and copies libzqcrypt0, libzqcrypt-dev, zqcrypt and
# python3-zqcrypt (not their -dbgsym companions) into <output folder>.
# The .changes file stays in <work folder>, for lintian.
#
# Usage: build_debs.sh <work folder> <output folder>
#   ZQ_JOBS: parallel compile jobs (default: nproc), unless DEB_BUILD_OPTIONS
#   is set.
#
# The packages are reproducible: SOURCE_DATE_EPOCH is the commit's time
# (unless set), which dpkg-deb gives every file and the archives themselves,
# and no build folder reaches a binary (-ffile-prefix-map). The build sees
# only the system's programs (PATH), as in a Debian build environment.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <work folder> <output folder>" >&2; exit 2; }
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$top" rev-parse HEAD)
work=$(realpath -m "$1")
output=$(realpath -m "$2")
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "note: uncommitted changes are not in the packages (they are built from HEAD)" >&2
fi

rm -rf "$work"
mkdir -p "$work" "$output"
git clone --quiet --shared --no-checkout "$top" "$work/zqcrypt"
git -C "$work/zqcrypt" checkout --quiet --detach "$commit"

export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct "$commit")}"
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=${ZQ_JOBS:-$(nproc)}}"
export LC_ALL=C.UTF-8 TZ=UTC
if ! (cd "$work/zqcrypt" && env PATH=/usr/sbin:/usr/bin:/sbin:/bin dpkg-buildpackage -us -uc -b) \
    >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log"
  echo "dpkg-buildpackage failed (log: $work/build.log)" >&2
  exit 1
fi
for package in libzqcrypt0 libzqcrypt-dev zqcrypt python3-zqcrypt; do
  cp "$work/${package}"_*.deb "$output/"
done
