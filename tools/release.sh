#!/usr/bin/env bash
# Builds the release bundles of the committed tree (HEAD) into dist/:
#   zqcrypt-VERSION-win32.zip            zqcrypt.dll (i386; x86-64 in win64), libzqcrypt.dll.a,
#   zqcrypt-VERSION-win64.zip            zqcrypt.lib, zqcrypt.def, the header, the tool
#                                        zqcrypt.exe, README.md (and every page and
#                                        picture of docs/ it links to, and they link
#                                        to), LICENSE, USING.txt (and the CMake and
#                                        pkg-config files)
#   zqcrypt-VERSION-linux-x86_64.tar.gz  the installed tree: lib, include, the CMake
#   zqcrypt-VERSION-linux-i386.tar.gz    package, pkg-config, the tool
#   zqcrypt-VERSION-linux-aarch64.tar.gz
#   zqcrypt-VERSION-py3-none-linux_x86_64.whl   the Python package with the library
#   zqcrypt-VERSION-py3-none-linux_i686.whl     inside, one wheel for each library
#   zqcrypt-VERSION-py3-none-linux_aarch64.whl  above, and its sdist
#   zqcrypt-VERSION-py3-none-win32.whl
#   zqcrypt-VERSION-py3-none-win_amd64.whl
#   zqcrypt-VERSION.tar.gz
#   ZqCrypt.VERSION.nupkg                the NuGet package (tools/release_nuget.sh)
#   libzqcrypt0_VERSION_amd64.deb        the Debian packages (tools/build_debs.sh)
#   libzqcrypt-dev_VERSION_amd64.deb
#   zqcrypt_VERSION_amd64.deb
#   python3-zqcrypt_VERSION_all.deb
#   SHA256SUMS
# The bundles are reproducible: the same commit gives the same bytes in any
# folder. Sources come from `git archive`, no build path reaches a binary
# (-ffile-prefix-map), the PE header has no time stamp, and every archive
# entry has the commit's time, owner 0 and a fixed mode, in sorted order.
# Every relative link of a page in a bundle must resolve inside that bundle
# (tools/bundle_docs.py check), or the release stops. The files are written
# into build/release/dist and moved to dist/ only when all of them are made
# and checked: a release that stops leaves no dist/, never a partial one.
#
# ZQ_JOBS sets the number of parallel compile jobs (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
# The commit released: HEAD when the release starts. tools/build_debs.sh reads
# HEAD again when it runs, so a commit made meanwhile stops the release below
# rather than give packages of another tree than the bundles'.
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export TZ=UTC LC_ALL=C
jobs=${ZQ_JOBS:-$(nproc)}
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "note: uncommitted changes are not in the bundles (they are built from HEAD)" >&2
fi

work=build/release
out="$work/dist"
rm -rf "$work" dist
mkdir -p "$work/source" "$work/stage" "$out"
git archive --format=tar "$commit" | tar -x -C "$work/source"
version=$(sed -n 's/^project(zqcrypt VERSION \([0-9.]*\).*/\1/p' "$work/source/CMakeLists.txt")

# build <name> <targets> [cmake options]: configure, build the targets and
# install into the stage folder zqcrypt-VERSION-<name>.
build() {
  local name=$1 targets=$2 root="$work/stage/zqcrypt-$version-$1"
  shift 2
  echo "=== $name"
  cmake -S "$work/source" -B "$work/$name" -DCMAKE_BUILD_TYPE=Release -DZQ_WERROR=ON \
    -DZQ_TESTS=OFF -DZQ_BENCH=OFF "$@" >"$work/$name.log"
  cmake --build "$work/$name" -j"$jobs" --target $targets >>"$work/$name.log"
  cmake --install "$work/$name" --prefix "$root" >>"$work/$name.log"
  chmod -R u=rwX,go=rX "$root"
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

toolchains="$PWD/$work/source/cmake"
build linux-x86_64 "zqcrypt zqcrypt_static zqcrypt_tool"
build linux-i386 "zqcrypt zqcrypt_static zqcrypt_tool" -DCMAKE_TOOLCHAIN_FILE="$toolchains/toolchain-linux32.cmake"
build linux-aarch64 "zqcrypt zqcrypt_static zqcrypt_tool" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchains/toolchain-linux-arm64.cmake"
build win32 "zqcrypt zqcrypt_tool" -DCMAKE_TOOLCHAIN_FILE="$toolchains/toolchain-mingw32.cmake"
build win64 "zqcrypt zqcrypt_tool" -DCMAKE_TOOLCHAIN_FILE="$toolchains/toolchain-mingw64.cmake"
echo "=== debian packages"
bash tools/build_debs.sh "$work/deb" "$out"

# The Windows bundles: their documents at the top, beside the installed tree.
for name in win32 win64; do
  win="$work/stage/zqcrypt-$version-$name"
  cp "$work/source/docs/USING.txt" "$win/"
  /usr/bin/python3 "$work/source/tools/bundle_docs.py" copy "$work/source" "$win" README.md
  mv "$win/share/doc/zqcrypt/LICENSE" "$win/"
  rm -r "$win/share"
  chmod -R u=rwX,go=rX "$win"
  find "$win" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  /usr/bin/python3 "$work/source/tools/bundle_docs.py" check "$win"
done

# The Python wheels, each with one of the libraries above inside (tagged by
# the machine its header names), and the sdist.
echo "=== python"
/usr/bin/python3 "$work/source/bindings/python/backend/zqcrypt_build.py" "$out" \
  "$work/stage/zqcrypt-$version-linux-"{x86_64,i386,aarch64}/lib/libzqcrypt.so \
  "$work/stage/zqcrypt-$version-"{win32,win64}/bin/zqcrypt.dll
for tag in linux_x86_64 linux_i686 linux_aarch64 win32 win_amd64; do
  [ -f "$out/zqcrypt-$version-py3-none-$tag.whl" ] || { echo "release.sh: no $tag wheel" >&2; exit 1; }
done

cd "$work/stage"
for name in linux-x86_64 linux-i386 linux-aarch64; do
  tar --create --format=gnu --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
      --owner=0 --group=0 --numeric-owner "zqcrypt-$version-$name" |
    gzip -9 -n >"../dist/zqcrypt-$version-$name.tar.gz"
done
for name in win32 win64; do
  find "zqcrypt-$version-$name" -type f | sort |
    zip -X -D -q -9 "../dist/zqcrypt-$version-$name.zip" -@
done
cd ../../..
bash "$work/source/tools/release_nuget.sh" "$work" "$out"
echo "=== links of the bundles' pages"
/usr/bin/python3 "$work/source/tools/bundle_docs.py" check "$out"/zqcrypt-* "$out"/ZqCrypt.*.nupkg
(cd "$out" && sha256sum zqcrypt-* *.deb ZqCrypt.*.nupkg >SHA256SUMS)
if [ "$(git rev-parse HEAD)" != "$commit" ]; then
  echo "release.sh: HEAD moved from $commit during the release; run it again" >&2
  exit 1
fi
mv "$out" dist
echo "=== dist"
ls -l dist
cat dist/SHA256SUMS
