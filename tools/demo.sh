#!/usr/bin/env bash
# A short tour of zqcrypt from the shell, with its command-line tool: make an
# RSA key, export the PUBLICKEYBLOB the library imports, sign a file, verify
# the signature with the library's check, tamper with the file and see the
# check fail, then hash and Base64 a file. Builds only the Linux library and
# the tool (preset linux); the build's output goes to build/demo.log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
echo "=== building the library and the tool (build/demo.log)"
mkdir -p build
if ! { cmake --preset linux && cmake --build --preset linux -j2 --target zqcrypt_tool; } >build/demo.log 2>&1; then
  tail -n 30 build/demo.log
  exit 1
fi
export PATH="$PWD/build/linux/bin:$PATH"
tour=$(mktemp -d)
trap 'rm -rf "$tour"' EXIT
cd "$tour"

# show: print a command as typed, run it, and print its exit status when it
# is not 0.
show() {
  echo "\$ $*"
  local status=0
  "$@" || status=$?
  [ "$status" -eq 0 ] || echo "(exit status $status)"
  echo
}

echo "=== the tour, in a scratch folder"
echo
show zqcrypt keygen -o key.pem
show head -n 1 key.pem
show zqcrypt pubkey key.pem -o key.blob
show od -A d -t x1 -N 20 key.blob
printf 'Pay Alice 100 coins.\n' >order.txt
show cat order.txt
show zqcrypt sign --key key.pem -o order.sig order.txt
show zqcrypt verify --key key.blob --sig order.sig order.txt
printf 'Pay Mallory 100 coins.\n' >order.txt
show cat order.txt
show zqcrypt verify --key key.blob --sig order.sig order.txt
show zqcrypt verify --key key.blob --sig order.sig --explain order.txt
show zqcrypt md5 order.txt key.blob
show zqcrypt base64 order.txt
echo
show zqcrypt --help
