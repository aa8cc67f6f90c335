#!/usr/bin/env bash
# The wheel an install from source builds, made by the package's backend
# under the given Python: its library is built for that Python, not for the
# compiler's default target (an i386 Python on an x86-64 machine gets an
# i386 library and a linux_i686 wheel; an aarch64 one, emulated, an aarch64
# library and a linux_aarch64 wheel), and the wheel is tagged so.
#
# Usage: run_source_build.sh <python> <scratch folder>
set -euo pipefail
python=$1
scratch=$2
package=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$scratch"
mkdir -p "$scratch"
export PYTHONDONTWRITEBYTECODE=1
unset ZQCRYPT_BUNDLE_LIBRARY
expected=$("$python" -c 'import platform, struct
print("linux_aarch64 183" if platform.machine() == "aarch64" else
      {4: "linux_i686 3", 8: "linux_x86_64 62"}[struct.calcsize("P")])')
wheel=$(cd "$package/backend" && "$python" -c \
  'import sys, zqcrypt_build; print(zqcrypt_build.from_source.build_wheel(sys.argv[1]))' "$scratch" | tail -n 1)
machine=$("$python" -c 'import sys, zipfile
print(int.from_bytes(zipfile.ZipFile(sys.argv[1]).read("zqcrypt/libzqcrypt.so")[18:20], "little"))' "$scratch/$wheel")
echo "$wheel: ELF machine $machine"
[[ $wheel == *-py3-none-${expected% *}.whl && $machine == "${expected#* }" ]] ||
  { echo "expected a ${expected% *} wheel with ELF machine ${expected#* }" >&2; exit 1; }
rm -rf "$scratch"
