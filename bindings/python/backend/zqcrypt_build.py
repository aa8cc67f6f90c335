"""Builds the zqcrypt package's wheel and source distribution with the
standard library alone: the package's PEP 517 build backend, so that
`pip install bindings/python` needs neither setuptools nor wheel, with or
without build isolation, offline or not.

The metadata is declared below rather than in a [project] table of
pyproject.toml, which would need a TOML reader, one the standard library has
only from Python 3.11 on. The version comes from the one place it lives:
project(zqcrypt VERSION ...) in the repository's CMakeLists.txt, or PKG-INFO
inside a source distribution. The long description is the package's
docstring.

A copy of the shared library goes inside the wheel when one is named, by
`--config-settings library=PATH` or the environment variable
ZQCRYPT_BUNDLE_LIBRARY; the wheel is then tagged for the platform the file
was built for, read from its header (py3-none-linux_x86_64, linux_i686,
win32), and the package loads that copy before the system's.

Archives are reproducible: entries in sorted order, each with the time of
SOURCE_DATE_EPOCH (1980-01-01 without it), a fixed mode and owner.

As a program, for releases and tests:
    zqcrypt_build.py OUTPUT [LIBRARY...]
writes the source distribution and one wheel for each library into OUTPUT.
"""
import ast
import base64
import gzip
import hashlib
import io
import os
import re
import sys
import tarfile
import time
import zipfile

# bindings/python in the repository, or the root of an unpacked sdist.
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE = "zqcrypt"
ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry holds

SUMMARY = "MD5, an RSA signature check over an MD5 digest, and Base64 from the zqcrypt library, through ctypes"
HEADERS = [
    ("License", "MIT"),
    ("Requires-Python", ">=3.9"),
    ("Classifier", "License :: OSI Approved :: MIT License"),
    ("Classifier", "Programming Language :: Python :: 3"),
    ("Classifier", "Programming Language :: Python :: Implementation :: CPython"),
    ("Classifier", "Typing :: Typed"),
    ("Description-Content-Type", "text/plain"),
]


def _read(path):
    with open(path, "rb") as source:
        return source.read()


def _shared(name):
    """A file the package shares with the repository around it (LICENSE):
    the sdist's copy when building from one, else the repository's."""
    inside = os.path.join(ROOT, name)
    return inside if os.path.exists(inside) else os.path.join(ROOT, "..", "..", name)


def _package_files():
    """The package's files, relative to ROOT, sorted."""
    folder = os.path.join(ROOT, PACKAGE)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".py") or n == "py.typed")
    return [f"{PACKAGE}/{name}" for name in names]


def _version(module):
    """The version from PKG-INFO (an sdist) or CMakeLists.txt (the
    repository), checked against the __version__ of `module`, the package's
    parsed __init__.py."""
    pkg_info = os.path.join(ROOT, "PKG-INFO")
    if os.path.exists(pkg_info):
        found = re.search(r"^Version: (\S+)$", _read(pkg_info).decode(), re.M)
        where = "PKG-INFO"
    else:
        cmake = _read(os.path.join(ROOT, "..", "..", "CMakeLists.txt")).decode()
        found = re.search(r"^project\(zqcrypt VERSION ([0-9.]+)", cmake, re.M)
        where = "CMakeLists.txt"
    if not found:
        raise RuntimeError(f"zqcrypt: no version in {where}")
    version = found.group(1)
    declared = [ast.literal_eval(node.value) for node in module.body if isinstance(node, ast.Assign)
                and any(getattr(t, "id", None) == "__version__" for t in node.targets)]
    if declared != [version]:
        raise RuntimeError(f"zqcrypt: {where} says version {version}, "
                           f"{PACKAGE}/__init__.py says {declared or 'nothing'}")
    return version


def metadata():
    """(version, the METADATA / PKG-INFO text)."""
    module = ast.parse(_read(os.path.join(ROOT, PACKAGE, "__init__.py")))
    version = _version(module)
    lines = ["Metadata-Version: 2.1", f"Name: {PACKAGE}", f"Version: {version}", f"Summary: {SUMMARY}"]
    lines += [f"{name}: {value}" for name, value in HEADERS]
    return version, "\n".join(lines) + "\n\n" + ast.get_docstring(module) + "\n"


def _epoch():
    return int(os.environ.get("SOURCE_DATE_EPOCH", ZIP_EPOCH))


def _platform(binary):
    """The wheel's platform tag for a shared library, from its header."""
    machine, tags = None, {}
    if binary[:4] == b"\x7fELF":
        order = "little" if binary[5] == 1 else "big"
        machine, tags = int.from_bytes(binary[18:20], order), {3: "linux_i686", 62: "linux_x86_64"}
    elif binary[:2] == b"MZ":
        header = int.from_bytes(binary[0x3C:0x40], "little")
        if binary[header:header + 4] == b"PE\0\0":
            machine, tags = int.from_bytes(binary[header + 4:header + 6], "little"), {0x14C: "win32"}
    if machine not in tags:
        raise RuntimeError("zqcrypt: the library to bundle is not an x86-64 or i386 ELF "
                           "shared object nor an i386 DLL")
    return tags[machine]


def _bundled_name(platform):
    """The name the package loads its copy under (see zqcrypt._library)."""
    return "zqcrypt.dll" if platform == "win32" else "libzqcrypt.so"


def _write_wheel(folder, version, text, library):
    """Writes the wheel and returns its file name."""
    files = [(name, _read(os.path.join(ROOT, name)), 0o644) for name in _package_files()]
    tag = "py3-none-any"
    if library:
        binary = _read(library)
        platform = _platform(binary)
        files.append((f"{PACKAGE}/{_bundled_name(platform)}", binary, 0o755))
        files.sort()
        tag = f"py3-none-{platform}"
    info = f"{PACKAGE}-{version}.dist-info"
    wheel = (f"Wheel-Version: 1.0\nGenerator: zqcrypt_build\n"
             f"Root-Is-Purelib: {'false' if library else 'true'}\nTag: {tag}\n")
    files += [(f"{info}/LICENSE", _read(_shared("LICENSE")), 0o644),
              (f"{info}/METADATA", text.encode(), 0o644), (f"{info}/WHEEL", wheel.encode(), 0o644)]
    record = []
    for name, data, _ in files:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{name},sha256={digest},{len(data)}\n")
    files.append((f"{info}/RECORD", "".join(record + [f"{info}/RECORD,,\n"]).encode(), 0o644))

    stamp = time.gmtime(max(_epoch(), ZIP_EPOCH))[:6]
    file_name = f"{PACKAGE}-{version}-{tag}.whl"
    with zipfile.ZipFile(os.path.join(folder, file_name), "w") as archive:
        for name, data, mode in files:
            entry = zipfile.ZipInfo(name, stamp)
            entry.create_system = 3  # Unix, so that the mode below is read
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)
    return file_name


def _write_sdist(folder, version, text):
    """Writes the source distribution and returns its file name."""
    top = f"{PACKAGE}-{version}"
    files = [(name, _read(os.path.join(ROOT, name)))
             for name in ["backend/zqcrypt_build.py", "pyproject.toml"] + _package_files()]
    files += [("LICENSE", _read(_shared("LICENSE"))), ("PKG-INFO", text.encode())]
    file_name = f"{top}.tar.gz"
    with open(os.path.join(folder, file_name), "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0, compresslevel=9) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, data in sorted(files):
            entry = tarfile.TarInfo(f"{top}/{name}")
            entry.size, entry.mtime, entry.mode = len(data), _epoch(), 0o644
            archive.addfile(entry, io.BytesIO(data))
    return file_name


# PEP 517 hooks.

def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    library = (config_settings or {}).get("library") or os.environ.get("ZQCRYPT_BUNDLE_LIBRARY")
    if library and not os.path.isfile(library):
        raise RuntimeError(f"zqcrypt: no library file {library} to bundle")
    return _write_wheel(wheel_directory, *metadata(), library)


def build_sdist(sdist_directory, config_settings=None):
    return _write_sdist(sdist_directory, *metadata())


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} OUTPUT [LIBRARY...]")
    output = sys.argv[1]
    os.makedirs(output, exist_ok=True)
    print(build_sdist(output))
    for path in sys.argv[2:]:
        print(build_wheel(output, {"library": path}))
