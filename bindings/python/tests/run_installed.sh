#!/usr/bin/env bash
# Installs the zqcrypt package with pip, offline, with a copy of the given
# library inside it, into a scratch folder, and runs the package's tests
# against that install (ZQCRYPT_LIBRARY unset, so the copy is what loads).
#
# Usage: run_installed.sh <python> <libzqcrypt.so> <scratch folder>
set -euo pipefail
python=$1
library=$(realpath "$2")
scratch=$3
package=$(cd "$(dirname "$0")/.." && pwd)

# The package's backend writes nothing into the source folder (and, with
# PYTHONDONTWRITEBYTECODE, no bytecode either), so pip builds from it directly.
rm -rf "$scratch"
# pip run from a venv leaves files in the temporary folder (its certificates,
# unpacked): they go into the scratch folder, not the machine's /tmp.
mkdir -p "$scratch/tmp" && export TMPDIR="$scratch/tmp"
export PYTHONDONTWRITEBYTECODE=1
ZQCRYPT_BUNDLE_LIBRARY=$library PIP_DISABLE_PIP_VERSION_CHECK=1 "$python" -m pip install \
  --quiet --no-build-isolation --no-index --no-deps --no-cache-dir --root-user-action=ignore \
  --target "$scratch/site" "$package"

cd "$scratch"
env -u ZQCRYPT_LIBRARY PYTHONPATH="$scratch/site${PYTHONPATH:+:$PYTHONPATH}" \
  "$python" -m pytest -q -p no:cacheprovider "$package/tests"
