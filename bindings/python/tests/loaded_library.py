"""Prints the library file the installed zqcrypt package loads, as the
dynamic loader mapped it (/proc/self/maps), after one call through it."""
import zqcrypt

zqcrypt.md5(b"")
with open("/proc/self/maps") as maps:
    print(*sorted({line.split()[-1] for line in maps if "libzqcrypt" in line}))
