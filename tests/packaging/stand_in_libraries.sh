#!/usr/bin/env bash
# Libraries of the other machines the packages carry, made by other hands:
# the C libraries of the i386 and AArch64 toolchains and the runtime DLLs of
# the i686 and x86-64 MinGW ones. The packaging tests pack them in place of
# zqcrypt's own builds for those machines, which a native build lacks, to see
# each land where its machine's belongs. Prints "RID TAG PATH" for each one
# installed here (the NuGet runtime identifier, the wheel's platform tag), and
# a note on standard error for each one missing.
while read -r rid tag path; do
  if [ -f "$path" ]; then echo "$rid $tag $path"; else echo "note: no $rid library to pack" >&2; fi
done <<LIBRARIES
linux-x86 linux_i686 /usr/lib/i386-linux-gnu/libc.so.6
linux-arm64 linux_aarch64 /usr/aarch64-linux-gnu/lib/libc.so.6
win-x86 win32 $(i686-w64-mingw32-gcc-posix -print-file-name=libgcc_s_dw2-1.dll 2>/dev/null)
win-x64 win_amd64 $(x86_64-w64-mingw32-gcc-posix -print-file-name=libgcc_s_seh-1.dll 2>/dev/null)
LIBRARIES
