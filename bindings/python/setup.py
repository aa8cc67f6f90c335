"""Builds the zqcrypt package. Everything is declared in pyproject.toml; this
file only adds an optional copy of the library to the package:

    ZQCRYPT_BUNDLE_LIBRARY=build/linux/lib/libzqcrypt.so \
        python3 -m pip install --no-build-isolation bindings/python

puts that file inside the installed package (as libzqcrypt.so, or
zqcrypt.dll for a DLL), where the package looks for it when ZQCRYPT_LIBRARY
is not set. A package built that way is marked as specific to its platform.
"""
import os
import shutil

from setuptools import setup
from setuptools.command.build_py import build_py

try:
    from wheel.bdist_wheel import bdist_wheel
except ImportError:  # no wheel package: nothing to mark
    bdist_wheel = None

BUNDLE = os.environ.get("ZQCRYPT_BUNDLE_LIBRARY", "")


def bundled_name(path):
    """The name the package loads its copy under."""
    name = os.path.basename(path).lower()
    if name.endswith(".dll"):
        return "zqcrypt.dll"
    if name.endswith(".dylib"):
        return "libzqcrypt.dylib"
    return "libzqcrypt.so"


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        if BUNDLE:
            if not os.path.isfile(BUNDLE):
                raise SystemExit(f"ZQCRYPT_BUNDLE_LIBRARY: no file {BUNDLE}")
            target = os.path.join(self.build_lib, "zqcrypt", bundled_name(BUNDLE))
            shutil.copyfile(BUNDLE, target)


commands = {"build_py": BuildWithLibrary}
if bdist_wheel is not None and BUNDLE:

    class PlatformWheel(bdist_wheel):
        def finalize_options(self):
            super().finalize_options()
            self.root_is_pure = False

        def get_tag(self):
            # Any Python 3 that runs on this platform can load the copy.
            _, _, platform = super().get_tag()
            return "py3", "none", platform

    commands["bdist_wheel"] = PlatformWheel

setup(cmdclass=commands)
