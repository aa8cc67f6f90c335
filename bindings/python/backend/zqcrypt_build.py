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
ZQCRYPT_BUNDLE_LIBRARY (an absolute path: pip runs the backend in the
package's folder, not the one it was started in); the wheel is then tagged
for the platform the file was built for, read from its header
(py3-none-linux_x86_64, linux_i686, linux_aarch64, win32, win_amd64), and the
package loads that copy before the system's. The word `system` instead of a path names none: the
package then loads the system's.

pip and other installers call the hooks of `from_source` (pyproject.toml's
build-backend), which build the library when none is named: CMake builds
libzqcrypt.so from the repository's sources, or from those the sdist carries
(CMakeLists.txt, cmake/, include/, src/), into the wheel, for the running
Python (an i386 one on an x86-64 machine gets an i386 library). Without
CMake or a compiler the install stops and says what is missing, rather than
install a package that cannot load a library. The functions of this module,
which the release scripts and the Debian package call, bundle only what they
are told.

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
import platform
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import types
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


# The library's sources, from the root of the CMake project: the repository,
# or the top of the sdist, which carries these.
NATIVE_SOURCES = ["CMakeLists.txt", "cmake", "include", "src"]
CMAKE_MINIMUM = (3, 25)  # cmake_minimum_required of CMakeLists.txt
SYSTEM = "system"  # the `library` setting that bundles none


def _read(path):
    with open(path, "rb") as source:
        return source.read()


def _shared(name):
    """A file the package shares with the repository around it (LICENSE):
    the sdist's copy when building from one, else the repository's."""
    inside = os.path.join(ROOT, name)
    return inside if os.path.exists(inside) else os.path.join(ROOT, "..", "..", name)


def _native_root():
    """The root of the CMake project the library is built from."""
    return os.path.dirname(os.path.abspath(_shared("CMakeLists.txt")))


def _tracked(top, paths):
    """The files at or under `paths` (relative to the folder `top`) that git
    tracks, when `top` lies in a git checkout that tracks any of them; else
    None (no git, no checkout, or a copy the checkout around it ignores), and
    the caller walks the folders. So an sdist made from a working tree holds
    what the repository holds, not editors' and builds' leftovers beside it."""
    try:
        listed = subprocess.run(["git", "ls-files", "-z", "--", *paths], cwd=top,
                                capture_output=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    files = [name for name in listed.decode().split("\0")
             if name and os.path.isfile(os.path.join(top, name))]
    return files or None


def _walked(top, folder):
    """Every file under `folder` (relative to `top`), relative to `top`."""
    return [os.path.relpath(os.path.join(parent, name), top).replace(os.sep, "/")
            for parent, _, names in os.walk(os.path.join(top, folder)) for name in names]


def _native_files():
    """The library's sources, relative to _native_root(), sorted."""
    top = _native_root()
    files = _tracked(top, NATIVE_SOURCES)
    if files is None:
        files = [NATIVE_SOURCES[0]] + [name for folder in NATIVE_SOURCES[1:] for name in _walked(top, folder)]
    return sorted(files)


def _package_files():
    """The package's files, relative to ROOT, sorted."""
    files = _tracked(ROOT, [PACKAGE]) or _walked(ROOT, PACKAGE)
    return sorted(name for name in files if name.count("/") == 1
                  and (name.endswith(".py") or name.endswith("/py.typed")))


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


def _load_machine():
    """The package's module zqcrypt/_machine.py, run from its source: the
    package itself is not imported, and no bytecode is written beside it."""
    path = os.path.join(ROOT, PACKAGE, "_machine.py")
    module = types.ModuleType("zqcrypt_machine")
    exec(compile(_read(path), path, "exec"), module.__dict__)
    return module


_MACHINE = _load_machine()


def platform_tag(binary):
    """The wheel's platform tag for a shared library, from its header."""
    tag = _MACHINE.platform_tag(binary)
    if tag is None:
        raise RuntimeError("zqcrypt: the library to bundle is not an x86-64, i386 or AArch64 ELF "
                           "shared object nor an i386 or x86-64 DLL")
    return tag


def _bundled_name(platform):
    """The name the package loads its copy under (see zqcrypt._library)."""
    return "zqcrypt.dll" if platform in _MACHINE.WINDOWS_TAGS else "libzqcrypt.so"


def _write_wheel(folder, version, text, library):
    """Writes the wheel and returns its file name."""
    files = [(name, _read(os.path.join(ROOT, name)), 0o644) for name in _package_files()]
    tag = "py3-none-any"
    if library:
        binary = _read(library)
        platform = platform_tag(binary)
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
    files += [(name, _read(os.path.join(_native_root(), name))) for name in _native_files()]
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


def _cmake_version():
    """CMake's version as a tuple of numbers, or None without a cmake program."""
    if not shutil.which("cmake"):
        return None
    said = subprocess.run(["cmake", "--version"], capture_output=True, text=True).stdout
    found = re.search(r"version (\d+)\.(\d+)", said)
    return tuple(map(int, found.groups())) if found else (0, 0)


def _found(variable, names):
    """Whether the program the environment variable names (CC, CXX), or else
    one of `names`, is on PATH."""
    chosen = os.environ.get(variable, "").split()
    return any(shutil.which(name) for name in (chosen[:1] or names))


def _missing_tools():
    """What building the library needs and this machine lacks."""
    missing = []
    cmake = _cmake_version()
    if cmake is None:
        missing.append("cmake")
    elif cmake < CMAKE_MINIMUM:
        missing.append("cmake %d.%d or later (this one is %d.%d)" % (CMAKE_MINIMUM + cmake))
    if not _found("CXX", ["c++", "g++", "clang++"]):
        missing.append("a C++ compiler (c++, g++ or clang++)")
    if not _found("CC", ["cc", "gcc", "clang"]):
        missing.append("a C compiler (cc, gcc or clang)")
    if not (shutil.which("make") or shutil.which("ninja") or os.environ.get("CMAKE_GENERATOR")):
        missing.append("make")
    return missing


class CannotBuild(RuntimeError):
    """The library cannot be built here; the message says why and what else to do."""


def _cannot_build(why):
    cmake = "%d.%d" % CMAKE_MINIMUM
    return CannotBuild(
        f"zqcrypt: {why}\n"
        "Installing zqcrypt from source builds its library, libzqcrypt.so, into the package, with\n"
        f"CMake {cmake} or later, C and C++20 compilers and make (Debian: apt install cmake g++ make).\n"
        "Or install a release's wheel, which carries the library; or name a built one:\n"
        "  ZQCRYPT_BUNDLE_LIBRARY=/path/to/libzqcrypt.so (or pip's --config-settings library=/PATH)\n"
        "or install without one, to load the system's or the one ZQCRYPT_LIBRARY names at run time:\n"
        f"  ZQCRYPT_BUNDLE_LIBRARY={SYSTEM} (or pip's --config-settings library={SYSTEM})")


def _python_platform():
    """The platform tag of the running Python: a 32-bit Python on an x86-64
    machine (an i386 interpreter, which the kernel reports as x86_64) is
    linux_i686, as installers tag it."""
    machine = platform.machine().lower()
    if machine in ("x86_64", "amd64", "i386", "i486", "i586", "i686"):
        return "linux_i686" if struct.calcsize("P") == 4 else "linux_x86_64"
    return f"linux_{machine}"


def _toolchain():
    """CMake's toolchain arguments for the running Python: the compiler's
    default target is the machine's, so a 32-bit Python on an x86-64 machine
    gets an i386 library through the project's own toolchain file."""
    if _python_platform() == "linux_i686" and platform.machine().lower() in ("x86_64", "amd64"):
        return [f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(_native_root(), 'cmake', 'toolchain-linux32.cmake')}"]
    return []


def build_library(scratch):
    """Builds libzqcrypt.so with CMake from the library's sources in the
    folder `scratch` and returns its path; raises CannotBuild, saying what
    is missing, when it cannot."""
    if not sys.platform.startswith("linux"):
        raise _cannot_build(f"the library is built at install on Linux only, not {sys.platform}.")
    missing = _missing_tools()
    if missing:
        raise _cannot_build("this machine lacks " + ", ".join(missing) + ".")
    build = os.path.join(scratch, "build")
    generator = ["-G", "Ninja"] if not (shutil.which("make") or os.environ.get("CMAKE_GENERATOR")) else []
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    wanted = _python_platform()
    print(f"zqcrypt: building libzqcrypt.so ({wanted}) from {_native_root()} with CMake",
          file=sys.stderr, flush=True)
    for step in (["cmake", "-S", _native_root(), "-B", build, *generator, *_toolchain(),
                  "-DCMAKE_BUILD_TYPE=Release", "-DZQ_TESTS=OFF", "-DZQ_BENCH=OFF", "-DZQ_FUZZ=OFF"],
                 ["cmake", "--build", build, "--target", "zqcrypt", "--parallel", jobs]):
        if subprocess.run(step).returncode != 0:
            multilib = " (an i386 one here needs gcc-multilib and g++-multilib)" if _toolchain() else ""
            raise _cannot_build(f"CMake could not build libzqcrypt.so{multilib}; its output above says why.")
    library = os.path.join(build, "lib", "libzqcrypt.so")
    built = platform_tag(_read(library))
    if built != wanted:
        raise _cannot_build(f"the library built is for {built}, this Python ({sys.executable}) is "
                            f"{wanted}: it could not load it.")
    return library


def _library_setting(config_settings):
    """The library to bundle as named (a path, or SYSTEM), or None."""
    return (config_settings or {}).get("library") or os.environ.get("ZQCRYPT_BUNDLE_LIBRARY")


# PEP 517 hooks that bundle the library named, or none.

def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    library = _library_setting(config_settings)
    if library == SYSTEM:
        library = None
    if library and not os.path.isfile(library):
        # pip runs the backend in the package's folder, not the one it was
        # started in, and says nothing of the latter.
        raise RuntimeError(f"zqcrypt: no library file {os.path.abspath(library)} to bundle; "
                           "name it by an absolute path (a relative one is read from the folder "
                           "the build runs in, the package's under pip)")
    return _write_wheel(wheel_directory, *metadata(), library)


def build_sdist(sdist_directory, config_settings=None):
    return _write_sdist(sdist_directory, *metadata())


class from_source:
    """PEP 517 hooks, pyproject.toml's build-backend: those above, except that
    a wheel with no library named gets one built from source."""

    build_sdist = staticmethod(build_sdist)

    @staticmethod
    def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
        if _library_setting(config_settings):
            return build_wheel(wheel_directory, config_settings, metadata_directory)
        with tempfile.TemporaryDirectory(prefix="zqcrypt-library-") as scratch:
            try:
                library = build_library(scratch)
            except CannotBuild as reason:
                raise SystemExit(str(reason)) from None  # the installer shows it alone
            return build_wheel(wheel_directory, {"library": library})


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} OUTPUT [LIBRARY...]")
    output = sys.argv[1]
    os.makedirs(output, exist_ok=True)
    print(build_sdist(output))
    for path in sys.argv[2:]:
        print(build_wheel(output, {"library": path}))
