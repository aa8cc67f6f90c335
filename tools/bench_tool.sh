#!/usr/bin/env bash
# Times the zqcrypt tool beside coreutils with hyperfine on a file of random
# bytes (1 GiB unless ZQ_BENCH_BYTES says otherwise), made in a scratch folder
# under /tmp and deleted afterwards: md5 beside md5sum, base64 beside
# base64 -w 64, and decoding beside base64 -d (of coreutils' LF text, which
# both take). Output goes to /dev/null. Needs hyperfine (apt-get install
# hyperfine). Arguments go to hyperfine, for example --runs 10.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux --target zqcrypt_tool -j2 >/dev/null
tool="$PWD/build/linux/bin/zqcrypt"

scratch=$(mktemp -d /tmp/zqcrypt-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
head -c "${ZQ_BENCH_BYTES:-1073741824}" /dev/urandom >data.bin
base64 -w 64 data.bin >data.b64

hyperfine --warmup 1 --runs 5 "$@" \
  "$tool md5 data.bin" "md5sum data.bin" \
  "$tool base64 data.bin >/dev/null" "base64 -w 64 data.bin >/dev/null" \
  "$tool base64 -d data.b64 >/dev/null" "base64 -d data.b64 >/dev/null"
