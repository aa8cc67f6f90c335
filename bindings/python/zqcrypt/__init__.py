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
# Every name without a leading underscore is the package's API (__all__), so
# the modules and typing names it works with are imported under private names.
import os as _os
import threading as _threading
from typing import Optional as _Optional
from typing import Union as _Union

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
    "BytesLike",
]
__version__ = "0.1.0"

_default: _Optional[Library] = None
# Held while the first call loads the library. Reentrant, so that a fork from
# code that interrupts the load in its own thread (a signal handler, a
# finalizer) does not wait for itself.
_loading = _threading.RLock()


def _library() -> Library:
    global _default
    if _default is None:
        with _loading:
            if _default is None:
                _default = Library()
    return _default


# A fork copies only the thread that forks: a load under way in another thread
# would leave the child a lock that no thread of its own ever releases, and its
# first call would wait forever (multiprocessing's "fork" start method forks
# from any thread). So a fork waits for a load under way to finish and holds
# the lock across the fork; the parent and the child each let it go. The wait
# can end in an exception (KeyboardInterrupt from a signal handler), after
# which the fork goes ahead without the lock: the parent then has nothing to
# let go, and the child takes a fresh lock, since the one it copied may be
# held by a thread it does not have. What each forking thread holds is its
# own. (Windows has no fork.)
_fork = _threading.local()


def _before_fork() -> None:
    _fork.holds = False
    _fork.holds = _loading.acquire()


def _after_fork_in_parent() -> None:
    if getattr(_fork, "holds", False):
        _fork.holds = False
        _loading.release()


def _after_fork_in_child() -> None:
    global _loading
    if getattr(_fork, "holds", False):
        _after_fork_in_parent()
    else:
        _loading = _threading.RLock()


if hasattr(_os, "register_at_fork"):
    _os.register_at_fork(before=_before_fork, after_in_parent=_after_fork_in_parent,
                         after_in_child=_after_fork_in_child)


def md5(data: BytesLike) -> bytes:
    """The 16-byte MD5 digest of `data`; see Library.md5."""
    return _library().md5(data)


def b64encode(data: BytesLike) -> bytes:
    """The Base64 text of `data`, CR LF after every 64 characters; see Library.b64encode."""
    return _library().b64encode(data)


def b64decode(text: _Union[str, BytesLike]) -> bytes:
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
