#!/usr/bin/env bash
# The Debian packages, end to end: built by tools/build_debs.sh from a clone
# of HEAD in a folder whose path holds a space, checked by lintian (no error,
# no warning), docs/install.md's apt command resolved by apt --simulate (the
# packages it names must be all that is needed), then unpacked with
# dpkg-deb -x into a scratch root, not installed, so that the machine is left
# as it was, and used from there:
#   - the hosts of tests/consumers built against the unpacked header and
#     libraries through find_package (CMAKE_PREFIX_PATH), pkg-config and the
#     static library, and run on an MD5 and an RSA vector of tests/vectors;
#     zqcrypt.pc names /usr outright (-I/usr/include, which pkg-config drops);
#   - the tool: key, public key blob, signature, its check on the file and on
#     a changed file, MD5 beside md5sum, Base64 both ways, its version;
#   - the binding from /usr/bin/python3 (PYTHONPATH into the root, the library
#     named by ZQCRYPT_LIBRARY), against hashlib, base64 and the tool's
#     signature.
# First, debian/rules' commands (make -n) from a folder whose path holds $, a
# backtick, a quote and a backslash: none hands that path to the shell.
# Prints "FAILED: ..." for each check that fails; exits non-zero if any did.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

echo "=== debian/rules from a folder whose path the shell would read"
odd=$scratch/'w$HOME `x` "q" \'
mkdir "$odd" && cp -r "$source_dir/debian" "$source_dir/CMakeLists.txt" "$odd/"
if ! commands=$(cd "$odd" && make -s -n -f debian/rules override_dh_auto_configure override_dh_auto_install); then
  fail "make -n -f debian/rules fails"
elif grep -qF "$odd" <<<"$commands"; then
  fail "debian/rules hands the checkout's path to the shell"
fi

work="$scratch/work folder"
bash "$source_dir/tools/build_debs.sh" "$work" "$scratch/debs"
echo "=== lintian"
lintian --fail-on error,warning "$work"/*.changes 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error,warning "$work"/*.changes >/dev/null 2>&1 || fail "lintian reports an error or a warning"

echo "=== docs/install.md's apt command, simulated"
apt_command=$(grep -o '`apt install \./dist/[^`]*`' "$source_dir/docs/install.md" | head -n 1 | tr -d '`')
mkdir "$scratch/apt" && ln -s "$scratch/debs" "$scratch/apt/dist"
if [ -z "$apt_command" ]; then
  fail "docs/install.md shows no apt install command"
elif ! (cd "$scratch/apt" && eval "apt --simulate ${apt_command#apt }") >"$scratch/apt.log" 2>&1; then
  tail -n 20 "$scratch/apt.log"
  fail "$apt_command does not resolve"
fi

root=$scratch/root
for deb in "$scratch"/debs/*.deb; do
  dpkg-deb -x "$deb" "$root"
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$root/usr/lib/$multiarch
version=$(sed -n 's/^project(zqcrypt VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ "$(readlink "$libdir/libzqcrypt.so.0")" = "libzqcrypt.so.$version" ] || fail "libzqcrypt.so.0 does not name libzqcrypt.so.$version"
export LD_LIBRARY_PATH=$libdir

echo "=== C and C++ hosts: find_package, pkg-config, static"
vectors=$source_dir/tests/vectors
mapfile -t arguments < <(
  { grep -E '^(In|Digest) = ?[0-9a-f]*$' "$vectors/md5.txt" | sed -n '5,6p'
    grep -E '^(Key|Digest|Signature) = [0-9a-f]+$' "$vectors/rsa_md5_signatures.txt" | head -n 3
  } | sed -E 's/^[A-Za-z]+ = ?//')
cflags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags zqcrypt | sed 's/ *$//')
case $cflags in ''|-I/usr/include) ;; *) fail "pkg-config --cflags zqcrypt gives '$cflags', not -I/usr/include" ;; esac
# pkg-config reads the unpacked root as the system's (PKG_CONFIG_SYSROOT_DIR).
if PKG_CONFIG_SYSROOT_DIR=$root cmake -S "$source_dir/tests/consumers" -B "$scratch/hosts" \
     -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$root/usr" -DZQ_EXPECTED_VERSION="$version" \
     >"$scratch/hosts.log" 2>&1 &&
   cmake --build "$scratch/hosts" -j2 >>"$scratch/hosts.log" 2>&1; then
  for host in cmake_c cmake_cxx pkgconfig static; do
    "$scratch/hosts/$host" "${arguments[@]}" || fail "host $host"
  done
else
  tail -n 30 "$scratch/hosts.log"
  fail "the hosts do not build against the unpacked packages"
fi

echo "=== the tool"
tool=$root/usr/bin/zqcrypt
mkdir "$scratch/tour"
cd "$scratch/tour"
printf 'Pay Alice 100 coins.\n' >order.txt
"$tool" --version | grep -q "$version" || fail "zqcrypt --version does not say $version"
"$tool" keygen -o key.pem && "$tool" pubkey key.pem -o key.blob &&
  "$tool" sign --key key.pem -o order.sig order.txt || fail "keygen, pubkey or sign"
"$tool" verify --key key.blob --sig order.sig order.txt || fail "the signature of the file does not verify"
printf 'Pay Mallory 100 coins.\n' >changed.txt
if "$tool" verify --key key.blob --sig order.sig changed.txt; then fail "the signature verifies a changed file"; fi
[ "$("$tool" md5 order.txt)" = "$(md5sum order.txt)" ] || fail "zqcrypt md5 differs from md5sum"
"$tool" base64 key.blob | "$tool" base64 -d | cmp -s - key.blob || fail "Base64 round trip"
[ -s "$root/usr/share/man/man1/zqcrypt.1.gz" ] || fail "no man page"

echo "=== the binding, from /usr/bin/python3"
PYTHONPATH=$root/usr/lib/python3/dist-packages ZQCRYPT_LIBRARY=$libdir/libzqcrypt.so.0 \
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 - "$root" <<'PYTHON' || fail "the binding"
import base64, hashlib, sys
import zqcrypt
root = sys.argv[1]
assert zqcrypt.__file__.startswith(root), zqcrypt.__file__
order, changed = open("order.txt", "rb").read(), open("changed.txt", "rb").read()
key, signature = open("key.blob", "rb").read(), open("order.sig", "rb").read()
assert zqcrypt.md5(order) == hashlib.md5(order).digest()
text = zqcrypt.b64encode(key)
assert base64.b64decode(text.replace(b"\r\n", b"")) == key and zqcrypt.b64decode(text) == key
assert zqcrypt.verify(signature, key, hashlib.md5(order).digest())
assert not zqcrypt.verify(signature, key, hashlib.md5(changed).digest())
PYTHON

echo "$failures failed"
[ "$failures" -eq 0 ]
