#!/usr/bin/env bash
# Runs the programs and commands that the README quotes from docs/snippets/
# and checks what they print against coreutils and OpenSSL; and checks that
# the README's quotes are the files, word for word.
#   check_snippets.sh first CMD...              first_program (or CMD) on two messages
#   check_snippets.sh md5 CMD...                load_dll: the digest line only
#   check_snippets.sh empty CMD...              empty_input
#   check_snippets.sh signature SCRIPT CMD...   make_signature.sh, then verify_file (CMD)
#   check_snippets.sh build SCRIPT SOURCE BUILD the README's build line, in a scratch folder
#   check_snippets.sh quotes README             every quote equals its file, every snippet quoted
set -uo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect NAME ACTUAL EXPECTED
expect() {
  [ "$2" == "$3" ] || fail "$1: got
$2
expected
$3"
}

md5Of() { printf %s "$1" | md5sum | cut -d' ' -f1; }

# Two messages: a short one, and one of 106 bytes whose text runs over a line.
messages=("Hello, zqcrypt" "$(printf '%.0sA message that runs over more than one line of text. ' 1 2)")

mode=$1
shift
case "$mode" in
first)
  for message in "${messages[@]}"; do
    actual=$("$@" "$message" | tr -d '\r') || fail "first program exited with $?"
    expect "first program" "$actual" "md5    $(md5Of "$message")
base64 $(printf %s "$message" | base64 -w 64)
back   $message"
  done
  ;;
md5)
  for message in "${messages[@]}"; do
    actual=$("$@" "$message" | tr -d '\r') || fail "$1 exited with $?"
    expect "md5" "$actual" "md5    $(md5Of "$message")"
  done
  ;;
empty)
  actual=$("$@") || fail "empty_input exited with $?"
  expect "empty input" "$actual" "fresh record:  result 0, last error 13
copied record: result 1, md5 $(md5Of "")
empty text:    result 1, size 4, \"\""
  ;;
signature)
  script=$1
  shift
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cd "$scratch" || exit 1
  printf 'Pay the bearer ten pounds.\n' >message.txt
  bash "$script" >log 2>&1 || fail "$(cat log)"
  # OpenSSL itself agrees that the signature is good.
  openssl rsa -in key.pem -pubout -out public.pem 2>/dev/null
  openssl dgst -md5 -verify public.pem -signature signature.be message.txt >/dev/null ||
    fail "OpenSSL rejects its own signature"
  # verifies NAME KEY SIGNATURE LINE STATUS: verify_file prints LINE and exits with STATUS.
  verify=("$@")
  verifies() {
    expect "$1" "$("${verify[@]}" "$2" "$3" message.txt | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")" "$4
exit $5"
  }
  verifies "verify" key.blob signature.bin "good signature" 0
  # OpenSSL's byte order, and a changed message, are ordinary mismatches.
  verifies "verify in OpenSSL's order" key.blob signature.be "no match" 1
  printf 'Pay the bearer ten thousand pounds.\n' >message.txt
  verifies "verify a changed message" key.blob signature.bin "no match" 1
  # A missing file cannot be checked.
  verifies "verify without a key" missing.blob signature.bin "not checked" 2
  ;;
build)
  script=$1 source=$2 build=$3
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/build"
  ln -s "$source/include" "$source/docs" "$scratch/"
  ln -s "$build" "$scratch/build/linux"
  actual=$(cd "$scratch" && bash "$script" 2>&1) || fail "$actual"
  expect "built first program" "$actual" "md5    $(md5Of "Hello, zqcrypt")
base64 $(printf %s "Hello, zqcrypt" | base64)
back   Hello, zqcrypt"
  ;;
quotes)
  readme=$1
  root=$(dirname "$readme")
  quoted=$(sed -n 's/^<!-- snippet: \(.*\) -->$/\1/p' "$readme")
  [ -n "$quoted" ] || fail "no quotes in $readme"
  for path in $quoted; do
    # The fenced block right below the marker line.
    block=$(awk -v marker="<!-- snippet: $path -->" '
      $0 == marker { getline; inside = 1; next }
      inside && /^```$/ { exit }
      inside { print }' "$readme")
    expect "$path as quoted in the README" "$block" "$(cat "$root/$path")"
  done
  for file in "$root"/docs/snippets/*; do
    grep -qxF "<!-- snippet: docs/snippets/$(basename "$file") -->" "$readme" ||
      fail "docs/snippets/$(basename "$file") is not quoted in the README"
  done
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
echo "ok"
