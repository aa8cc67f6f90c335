#!/usr/bin/env bash
# The command docs/bindings.md gives, `pip install --no-build-isolation
# bindings/python`, offline, in a fresh venv of Debian's Python, of the
# python3 first on PATH (pyenv's, when there is one) and of pyenv's 3.9, the
# oldest the package supports, when present. Their venvs hold a setuptools
# older than 70 (or none) and no wheel module, so no bdist_wheel command
# exists; the package's backend needs neither. The installed package then
# loads the library ZQCRYPT_LIBRARY names.
#
# Usage: run_source_install.sh <libzqcrypt.so> <scratch folder>
set -euo pipefail
library=$(realpath "$1")
scratch=$2
package=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONDONTWRITEBYTECODE=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1
rm -rf "$scratch"

on_path=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null || true)
pythons=$(realpath -e /usr/bin/python3 $on_path "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.9*/bin/python3 \
  2>/dev/null | awk '!seen[$0]++' || true)
for python in $pythons; do
  "$python" -c 'import sys; sys.exit(sys.version_info < (3, 9))' || continue
  venv="$scratch/venv"
  rm -rf "$venv"
  "$python" -m venv "$venv"
  "$venv/bin/python" -c 'from importlib.metadata import version
import importlib.util as u, sys
print(sys.argv[1], sys.version.split()[0], *(f"{m} {version(m)}" if u.find_spec(m) else f"no {m}" for m in ("setuptools", "wheel")))' "$python"
  "$venv/bin/python" -m pip install --quiet --no-build-isolation "$package"
  loaded=$(cd "$scratch" && ZQCRYPT_LIBRARY=$library "$venv/bin/python" "$package/tests/loaded_library.py")
  if [ "$loaded" != "$library" ]; then
    echo "$python: loaded '$loaded', not '$library'" >&2
    exit 1
  fi
done
rm -rf "$scratch"
