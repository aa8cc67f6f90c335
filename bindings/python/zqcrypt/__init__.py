"""zqcrypt from Python: MD5, an RSA signature check over an MD5 digest, and
Base64, computed by the zqcrypt shared library through ctypes.

    import zqcrypt
    digest = zqcrypt.md5(message)
    if zqcrypt.verify(signature, key_blob, digest): ...   # False: no match
    text = zqcrypt.b64encode(data)                        # CR LF every 64 characters
    assert zqcrypt.b64decode(text) == data

The functions take any bytes-like object (bytes, bytearray, memoryview,
array.array, mmap, ctypes arrays) and read it in place, without a copy.

The library is loaded on first use: the file named by ZQCRYPT_LIBRARY, else
the copy installed with this package, else the system's. Library(path) loads
a given file and offers the same functions as methods.

verify() checks only the lowest 128 bits of the RSA operation's result; see
Library.verify and the README's section on what the check proves.
"""
from __future__ import annotations

import threading
from typing import Optional, Union

from ._buffer import BytesLike
from ._library import NTE_BAD_SIGNATURE, CheckError, CryptBlob, Library, locate

__all__ = [
    "md5",
    "b64encode",
    "b64decode",
    "verify",
    "last_error",
    "CheckError",
    "Library",
    "CryptBlob",
    "NTE_BAD_SIGNATURE",
    "locate",
]
__version__ = "0.1.0"

_default: Optional[Library] = None
_loading = threading.Lock()


def _library() -> Library:
    global _default
    if _default is None:
        with _loading:
            if _default is None:
                _default = Library()
    return _default


def md5(data: BytesLike) -> bytes:
    """The 16-byte MD5 digest of `data`; see Library.md5."""
    return _library().md5(data)


def b64encode(data: BytesLike) -> bytes:
    """The Base64 text of `data`, CR LF after every 64 characters; see Library.b64encode."""
    return _library().b64encode(data)


def b64decode(text: Union[str, BytesLike]) -> bytes:
    """The bytes of Base64 `text`; never rejects text. See Library.b64decode."""
    return _library().b64decode(text)


def verify(signature: BytesLike, key_blob: BytesLike, digest: BytesLike) -> bool:
    """True when the lowest 128 bits of signature^e mod n equal `digest`,
    False when the check was made and they do not; CheckError when it could
    not be made. See Library.verify for what True does not prove."""
    return _library().verify(signature, key_blob, digest)


def last_error() -> int:
    """The calling thread's last-error value; see Library.last_error."""
    return _library().last_error()

# The public classes are reported under the package's name.
for _public in (CheckError, CryptBlob, Library):
    _public.__module__ = __name__
del _public
