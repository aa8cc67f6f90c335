#!/usr/bin/env bash
# The command docs/bindings.md gives, `pip install --no-build-isolation
# bindings/python`, offline, in fresh venvs:
#   1. Debian's Python and pip, on a PATH without cmake: the install stops and
#      says cmake is missing, and installs nothing;
#   2. Debian's Python and pip: the install builds libzqcrypt.so with CMake
#      into the package, which loads that copy (ZQCRYPT_LIBRARY unset);
#   3. installed without a copy (ZQCRYPT_BUNDLE_LIBRARY=system) by Debian's
#      Python, the python3 first on PATH (pyenv's, when there is one) and
#      pyenv's 3.9, the oldest the package supports, when present, whose venvs
#      hold a setuptools older than 70 (or none) and no wheel module, so no
#      bdist_wheel command exists; the package's backend needs neither. The
#      package then loads the system's library, here through LD_LIBRARY_PATH.
#
# Usage: run_source_install.sh <libzqcrypt.so> <scratch folder>
set -euo pipefail
library=$(realpath "$1")
scratch=$2
package=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONDONTWRITEBYTECODE=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1
unset ZQCRYPT_LIBRARY ZQCRYPT_BUNDLE_LIBRARY
rm -rf "$scratch"
mkdir -p "$scratch/bin"
# pip run from a venv leaves files in the temporary folder (its certificates,
# unpacked): they go into the scratch folder, not the machine's /tmp.
mkdir -p "$scratch/tmp" && export TMPDIR="$scratch/tmp"

# fresh_venv <python>: an empty venv at $venv.
fresh_venv() {
  venv="$scratch/venv"
  rm -rf "$venv"
  "$1" -m venv "$venv"
}

. "$package/tests/expect_loaded.sh"

fresh_venv /usr/bin/python3
for tool in cc c++ make; do
  ln -s "$(command -v "$tool")" "$scratch/bin/$tool"
done
if PATH=$scratch/bin "$venv/bin/python" -m pip install --quiet --no-build-isolation "$package" \
    >"$scratch/log" 2>&1 || ! grep -q "this machine lacks cmake\.$" "$scratch/log" ||
    "$venv/bin/python" -c "import zqcrypt" 2>/dev/null; then
  cat "$scratch/log" >&2
  echo "without cmake: the install did not stop, or did not say why" >&2
  exit 1
fi
echo "without cmake: $(grep -m1 lacks "$scratch/log")"

"$venv/bin/python" -m pip install --quiet --no-build-isolation "$package"
platlib=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
expect "built at install" "$platlib/zqcrypt/libzqcrypt.so" "$venv/bin/python"

on_path=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
pythons=$(realpath -e /usr/bin/python3 $on_path "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.9*/bin/python3 \
  2>/dev/null | awk '!seen[$0]++' || true)
for python in $pythons; do
  "$python" -c 'import sys; sys.exit(sys.version_info < (3, 9))' || continue
  fresh_venv "$python"
  "$venv/bin/python" -c 'from importlib.metadata import version
import importlib.util as u, sys
print(sys.argv[1], sys.version.split()[0], *(f"{m} {version(m)}" if u.find_spec(m) else f"no {m}" for m in ("setuptools", "wheel")))' "$python"
  ZQCRYPT_BUNDLE_LIBRARY=system "$venv/bin/python" -m pip install --quiet --no-build-isolation "$package"
  expect "no copy" "$library" env LD_LIBRARY_PATH="$(dirname "$library")" "$venv/bin/python"
done
rm -rf "$scratch"
