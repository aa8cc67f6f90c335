"""Which library file the package loads, and what the package shows."""
import os

import pytest

import zqcrypt


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


def test_windows_names_are_the_dll_exports():
    definitions = os.environ.get("ZQ_DLL_DEFINITIONS") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "src", "frame", "zqcrypt.def")
    with open(definitions) as lines:
        exported = {line.split()[0] for line in lines if line.strip().startswith("_zqCrypt")}
    from zqcrypt._library import SIGNATURES, decorated_name

    names = {decorated_name(name, argtypes) for name, argtypes in SIGNATURES.values()}
    assert names and names <= exported


def test_public_names_are_the_api():
    public = {name for name in dir(zqcrypt) if not name.startswith("_")}
    assert public == set(zqcrypt.__all__)
