"""Which library file the package loads, and what the package shows."""
import os

import pytest

import zqcrypt
from zqcrypt._library import SIGNATURES, binding
from zqcrypt._machine import platform_tag


def test_environment_variable_comes_first(monkeypatch, tmp_path):
    missing = str(tmp_path / "nothing-here.so")
    monkeypatch.setenv("ZQCRYPT_LIBRARY", missing)
    assert zqcrypt.locate() == missing
    with pytest.raises(OSError):
        zqcrypt.Library()


def test_copy_inside_the_package_comes_next(monkeypatch):
    monkeypatch.delenv("ZQCRYPT_LIBRARY", raising=False)
    shipped = [name for name in os.listdir(os.path.dirname(zqcrypt.__file__))
               if name.startswith(("libzqcrypt", "zqcrypt.dll"))]
    if not shipped:
        pytest.skip("this install carries no copy of the library")
    library = zqcrypt.Library()
    assert os.path.dirname(library.path) == os.path.dirname(os.path.abspath(zqcrypt.__file__))
    assert library.md5(b"") == zqcrypt.md5(b"")


def _pe(machine, at=0x40):
    """The first bytes of a PE file for `machine`, its header at offset `at`."""
    return b"MZ".ljust(0x3C, b"\0") + at.to_bytes(4, "little") + b"\0" * (at - 0x40) + b"PE\0\0" + machine


def _elf(elf_class, machine, data=1):
    """The first bytes of an ELF file: class 1 or 2 (32, 64 bits), data 1 or 2 (little, big-endian)."""
    return b"\x7fELF" + bytes([elf_class, data]) + b"\0" * 12 + machine


@pytest.mark.parametrize("header, tag", [
    (_pe(b"\x64\x86"), "win_amd64"), (_pe(b"\x4c\x01", 0x80), "win32"),
    (_pe(b"\x64\x86")[:0x40] + b"PE", None), (_pe(b"\x64\x86").replace(b"\x40\0\0\0", b"\xff" * 4), None),
    (_elf(2, b"\xb7\0"), "linux_aarch64"), (_elf(1, b"\x03\0"), "linux_i686"),
    (_elf(1, b"\x3e\0"), None), (_elf(2, b"\0\x3e", 2), None), (b"\x7fELF", None), (b"", None)])
def test_machine_from_the_header(header, tag):
    assert platform_tag(header) == tag


def test_a_library_of_another_machine_is_named(tmp_path):
    library = tmp_path / "zqcrypt.dll"
    library.write_bytes(_pe(b"\x64\x86").ljust(512, b"\0"))
    with pytest.raises(OSError, match="is a library for win_amd64; this Python is a"):
        zqcrypt.Library(library)


def _dll_exports(definitions):
    """The names a zqcrypt.dll exports, as its definition file in src/frame
    lists them: the 32-bit DLL's decorated (_name@bytes), the x64 DLL's plain."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "src", "frame", definitions)
    with open(path) as lines:
        exported = {line.split()[0] for line in lines if line.strip().startswith(("_zqCrypt", "zqCrypt"))}
    assert len(exported) == 7
    return exported


@pytest.mark.parametrize("pointer_size, loader, definitions",
                         [(4, "WinDLL", "zqcrypt.def"), (8, "CDLL", "zqcrypt64.def")])
def test_windows_binding_asks_for_the_dll_exports(pointer_size, loader, definitions):
    chosen = binding("win32", pointer_size)
    assert (chosen.file_name, chosen.loader, chosen.last_error) == ("zqcrypt.dll", loader, None)
    assert set(chosen.names) == set(SIGNATURES)
    assert set(chosen.names.values()) <= _dll_exports(definitions)


@pytest.mark.parametrize("pointer_size", [4, 8])
def test_linux_binding_asks_for_plain_names(pointer_size):
    plain = {key: name for key, (name, _) in SIGNATURES.items()}
    assert binding("linux", pointer_size) == ("libzqcrypt.so", "CDLL", plain, "zqGetLastError")
    assert set(plain.values()) <= _dll_exports("zqcrypt64.def")


def test_public_names_are_the_api():
    public = {name for name in dir(zqcrypt) if not name.startswith("_")}
    assert public == set(zqcrypt.__all__)
