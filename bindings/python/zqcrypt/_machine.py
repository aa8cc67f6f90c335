"""The machine a shared library is built for, read from its header, named by
the wheel platform tag of that machine. The package names it when a library
does not load; its build backend tags wheels with it. Standard library only,
and no import of the package: the backend loads this file by its path."""
from typing import Optional

# An ELF file's machine (e_machine) -> its class (1: 32-bit, 2: 64-bit) and
# tag. An x86-64 file of class 1 (the x32 ABI) is no x86-64 library.
_ELF = {3: (1, "linux_i686"), 62: (2, "linux_x86_64"), 183: (2, "linux_aarch64")}
# A PE file's machine (the COFF header's Machine) -> its tag.
_PE = {0x14C: "win32", 0x8664: "win_amd64"}
WINDOWS_TAGS = frozenset(_PE.values())


def platform_tag(header: bytes) -> Optional[str]:
    """The tag of the machine the file starting with the bytes `header` is
    built for: a little-endian ELF file, or a PE file whose header lies within
    `header`; None for another machine or file, or too few bytes."""
    if header[:4] == b"\x7fELF" and header[5:6] == b"\x01":
        elf_class, tag = _ELF.get(int.from_bytes(header[18:20], "little"), (None, None))
        return tag if header[4:5] == bytes([elf_class or 0]) else None
    if header[:2] == b"MZ" and len(header) >= 0x40:
        pe = int.from_bytes(header[0x3C:0x40], "little")
        if header[pe:pe + 4] == b"PE\0\0":
            return _PE.get(int.from_bytes(header[pe + 4:pe + 6], "little"))
    return None
