#!/usr/bin/env bash
# Installs what building and testing zqcrypt needs on Debian 12, as root, and
# nothing that is already there: compilers (g++, clang, mingw-w64 for the
# 32-bit and x86-64 DLLs, multilib for i386), CMake, GoogleTest, Google
# Benchmark (x86-64 and i386), Wine with its 32-bit and 64-bit parts, the test oracles OpenSSL and GMP (x86-64 and
# i386), pkg-config for the consumer tests, zip for the release bundles, the
# Debian packaging tools (debhelper, dh-python, lintian) for the .deb files,
# Debian's Python 3 (/usr/bin/python3) for the command-line tool's tests and
# the bindings, with pytest, pip, venv (the wheel is tested in fresh venvs) and
# its i386 and arm64 libraries (the Python tests also run against the i386 and
# the aarch64 zqcrypt), Mono
# with nuget (the NuGet package's test), LLVM 14's MSVC-compatible tools
# (clang-cl, lld-link, llvm-dlltool) for zqcrypt.lib and the hosts MSVC
# builds, matplotlib for the benchmarks' charts, and for the ARM64 build the
# aarch64 cross compilers, qemu's user-mode emulator that runs its programs
# and the arm64 development packages of OpenSSL and GMP. Debian's
# gcc-multilib cannot be installed beside the cross compilers (its
# /usr/include/asm is x86's): multilib comes from gcc-12-multilib and
# g++-12-multilib, and the i386 kernel headers from linux-libc-dev:i386.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev binutils
  gcc-12-multilib g++-12-multilib linux-libc-dev:i386
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  clang-tools-14 lld-14 llvm-14
  libgtest-dev libbenchmark-dev libbenchmark-dev:i386
  libssl-dev libgmp-dev libssl-dev:i386 libgmp-dev:i386
  openssl wine wine32:i386 wine64 valgrind
  pkg-config zip
  dpkg-dev debhelper dh-python lintian
  python3 python3-pytest python3-pip python3-venv python3-matplotlib
  mono-mcs mono-runtime nuget
  libpython3.11:i386 libpython3.11:arm64
  g++-aarch64-linux-gnu qemu-user-static libssl-dev:arm64 libgmp-dev:arm64
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
for architecture in i386 arm64; do
  if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
    dpkg --add-architecture "$architecture"
  fi
done
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
