#!/usr/bin/env bash
# The package as a release ships it, built by the package's backend as
# tools/release.sh builds it, here from the given library:
#   1. two builds, the second from a copy of the sources elsewhere with other
#      file times and files git does not track, give the same bytes; a
#      library named by a relative path that is not there is named absolute;
#      wheels from stand-ins for the other machines' libraries
#      (tests/packaging/stand_in_libraries.sh) are tagged for those machines
#      and carry the library under the name the package loads there;
#   2. the wheel, installed offline in a fresh venv: the package's tests pass,
#      and the library loaded is the wheel's copy (ZQCRYPT_LIBRARY unset);
#   3. the sdist, installed offline in a fresh venv through pip's build
#      isolation (the standard library alone builds the package, and CMake the
#      library from the sources the sdist carries): the library loaded is the
#      one ZQCRYPT_LIBRARY names, else the copy built at install.
#
# Usage: run_wheel.sh <python> <libzqcrypt.so> <scratch folder>
set -euo pipefail
python=$1
library=$(realpath "$2")
scratch=$(realpath -m "$3")
package=$(cd "$(dirname "$0")/.." && pwd)
repository=$(cd "$package/../.." && pwd)
export PYTHONDONTWRITEBYTECODE=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1
unset ZQCRYPT_LIBRARY
rm -rf "$scratch"
mkdir -p "$scratch/copy/bindings/python"
# pip run from a venv leaves files in the temporary folder (its certificates,
# unpacked): they go into the scratch folder, not the machine's /tmp.
mkdir -p "$scratch/tmp" && export TMPDIR="$scratch/tmp"

. "$package/tests/expect_loaded.sh"

"$python" "$package/backend/zqcrypt_build.py" "$scratch/one" "$library"
cp -r "$package/pyproject.toml" "$package/backend" "$package/zqcrypt" "$scratch/copy/bindings/python/"
cp -r "$repository/CMakeLists.txt" "$repository/LICENSE" "$repository/cmake" "$repository/include" \
  "$repository/src" "$scratch/copy/"
cp "$library" "$scratch/copy/libzqcrypt.so"
find "$scratch/copy" -type f -exec touch -d "2001-02-03 04:05:06" {} +
if command -v git >/dev/null; then  # a checkout with a file git does not track
  git -C "$scratch/copy" init -q && git -C "$scratch/copy" add CMakeLists.txt cmake include src bindings
  touch "$scratch/copy/src/notes.swp" "$scratch/copy/bindings/python/zqcrypt/notes.py"
fi
"$python" "$scratch/copy/bindings/python/backend/zqcrypt_build.py" "$scratch/two" \
  "$scratch/copy/libzqcrypt.so" >/dev/null
diff -r "$scratch/one" "$scratch/two"
echo "two builds: the same bytes"
while read -r _ tag path; do
  wheel=$("$python" "$package/backend/zqcrypt_build.py" "$scratch/$tag" "$path" | tail -1)
  name=$([[ $tag == win* ]] && echo zqcrypt.dll || echo libzqcrypt.so)
  [[ $wheel == zqcrypt-*-py3-none-$tag.whl ]] && "$python" -c \
    'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).getinfo(sys.argv[2])' "$scratch/$tag/$wheel" "zqcrypt/$name" ||
    { echo "FAILED: $path gave $wheel, not a $tag wheel with zqcrypt/$name" >&2; exit 1; }
done < <(bash "$repository/tests/packaging/stand_in_libraries.sh")

said=$(cd "$scratch" && PYTHONPATH="$package/backend" "$python" -c \
  'import zqcrypt_build; zqcrypt_build.build_wheel(".", {"library": "lib/libzqcrypt.so"})' 2>&1) || true
[[ $said == *"no library file $scratch/lib/libzqcrypt.so to bundle; name it by an absolute path"* ]] ||
  { echo "$said" >&2; echo "a relative library path: the error does not name the path tried" >&2; exit 1; }

"$python" -m venv --system-site-packages "$scratch/wheel"  # pytest from the system's packages
venv=$scratch/wheel/bin/python
"$venv" -m pip install --quiet --no-deps "$scratch"/one/zqcrypt-*-py3-none-linux_*.whl
platlib=$("$venv" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
expect "wheel" "$platlib/zqcrypt/libzqcrypt.so" "$venv"
(cd "$scratch" && "$venv" -m pytest -q -p no:cacheprovider "$package/tests")

"$python" -m venv "$scratch/sdist"
venv=$scratch/sdist/bin/python
"$venv" -m pip install --quiet --no-deps "$scratch"/one/zqcrypt-*.tar.gz
expect "sdist, ZQCRYPT_LIBRARY" "$scratch/copy/libzqcrypt.so" \
  env ZQCRYPT_LIBRARY="$scratch/copy/libzqcrypt.so" "$venv"
platlib=$("$venv" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
expect "sdist, built at install" "$platlib/zqcrypt/libzqcrypt.so" "$venv"
rm -rf "$scratch"
