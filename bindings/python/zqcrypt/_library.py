"""Loading the zqcrypt shared library and calling it through ctypes.

On Windows the library is zqcrypt.dll, built for the process: a 32-bit
Python loads the 32-bit DLL, whose functions are stdcall and exported under
decorated names (_zqCryptHashBuffer@12), with WinDLL; a 64-bit Python loads
the x64 DLL, which exports plain names in the one calling convention of x64,
with CDLL. Either way the thread's last error is the system's. Elsewhere the
library is libzqcrypt.so with plain C names and the C calling convention,
loaded with CDLL, and the last error is read with zqGetLastError. binding()
makes that choice.

Every call that fills an output record is followed by zqCryptBlobClear of that
record in a `finally` clause, so the library's bytes are released also when
Python raises between the call and the copy of its result.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import platform
import sys
from typing import Callable, Dict, NamedTuple, Optional, Union

from ._buffer import Borrowed, BytesLike, InputBlob
from ._machine import platform_tag

# The thread's last error after a signature that does not match.
NTE_BAD_SIGNATURE = 0x80090006


class CryptBlob(ctypes.Structure):
    """The library's record: `size` (u32), `tag` (u32), `data` (pointer).

    12 bytes where pointers are 32 bits (the 32-bit zqcrypt.dll, i386
    Linux), 16 where they are 64 (the x64 zqcrypt.dll, 64-bit Linux), the
    pointer at offset 8, as the C compiler lays it out. A zero-filled record
    is the empty blob. Records filled by the library own their bytes until
    zqCryptBlobClear releases them.
    """

    _fields_ = [("size", ctypes.c_uint32), ("tag", ctypes.c_uint32), ("data", ctypes.c_void_p)]


_BLOB = ctypes.POINTER(CryptBlob)
_INPUT = ctypes.POINTER(InputBlob)
_U32 = ctypes.c_uint32

# The functions the package calls: C name and argument types. Every argument
# is 32 bits on 32-bit Windows, which makes the DLL's decorated names.
SIGNATURES = {
    "clear": ("zqCryptBlobClear", [_BLOB]),
    "hash": ("zqCryptHashBuffer", [_INPUT, _U32, _BLOB]),
    "encode": ("zqCryptUUEncode", [_INPUT, _U32, _BLOB]),
    "decode": ("zqCryptUUDecode", [_INPUT, _U32, _BLOB]),
    "verify": ("zqCryptVerifySignature", [_INPUT, _INPUT, _INPUT, _U32, ctypes.POINTER(_U32)]),
}


def decorated_name(name: str, argtypes: list) -> str:
    """The stdcall name the 32-bit zqcrypt.dll exports `name` under: _name@bytes."""
    return f"_{name}@{4 * len(argtypes)}"


class Binding(NamedTuple):
    """How the package binds the library in one kind of process."""

    file_name: str  # the library's file, as installed inside the package
    loader: str  # the ctypes class that loads it: "WinDLL" (stdcall) or "CDLL"
    names: Dict[str, str]  # each key of SIGNATURES -> the name the library exports
    last_error: Optional[str]  # the library's function that reads it; None: the system's


def binding(platform: str, pointer_size: int) -> Binding:
    """The binding for a process of sys.platform `platform` with pointers of
    `pointer_size` bytes: on 32-bit Windows stdcall and decorated names, on
    64-bit Windows and elsewhere the C convention and plain names."""
    if platform == "win32":
        decorated = pointer_size == 4
        names = {key: decorated_name(name, argtypes) if decorated else name
                 for key, (name, argtypes) in SIGNATURES.items()}
        return Binding("zqcrypt.dll", "WinDLL" if decorated else "CDLL", names, None)
    file_name = "libzqcrypt.dylib" if platform == "darwin" else "libzqcrypt.so"
    return Binding(file_name, "CDLL", {key: name for key, (name, _) in SIGNATURES.items()}, "zqGetLastError")


_BINDING = binding(sys.platform, ctypes.sizeof(ctypes.c_void_p))


class CheckError(Exception):
    """The signature check could not be made, which is never the same as a mismatch.

    Raised when the digest is not 16 bytes, the key blob is shorter than its
    20-byte header, the modulus or the signature is larger than 16384 bits,
    or the library's heap is exhausted.
    """


def locate() -> str:
    """The library file to load, in this order of preference.

    1. The path in the environment variable ZQCRYPT_LIBRARY, as it stands.
    2. A copy installed inside this package (libzqcrypt.so, zqcrypt.dll).
    3. The system's, as ctypes.util.find_library("zqcrypt") finds it.

    Raises OSError when none of them gives a library.
    """
    chosen = os.environ.get("ZQCRYPT_LIBRARY")
    if chosen:
        return chosen
    shipped = os.path.join(os.path.dirname(os.path.abspath(__file__)), _BINDING.file_name)
    if os.path.isfile(shipped):
        return shipped
    found = ctypes.util.find_library("zqcrypt")
    if found:
        return found
    raise OSError(
        "zqcrypt: no library found; set ZQCRYPT_LIBRARY to the path of "
        f"{_BINDING.file_name}, install the package with a copy of it, or install it on the system"
    )


def _built_for(path: str) -> Optional[str]:
    """The platform tag of the machine the file at `path` is built for, read
    from its first 64 KiB; None when it names none or cannot be read."""
    try:
        with open(path, "rb") as library:
            return platform_tag(library.read(0x10000))
    except OSError:
        return None


def _text_length(size: int) -> int:
    """Characters of the encoder's text for `size` input bytes, line breaks
    included and the zero bytes behind them excluded: four per started group
    of three bytes, and CR LF after every complete line of 64."""
    characters = 4 * ((size + 2) // 3)
    return characters + 2 * (characters // 64)


class Library:
    """One loaded copy of the zqcrypt library.

    Library(path) loads the file at `path`; Library() loads what locate()
    chooses. The functions of the zqcrypt module call one Library made that
    way on first use. A Library may be used from any number of threads at
    once: every call works on records of its own, and ctypes releases the
    interpreter lock while the library computes.
    """

    def __init__(self, path: Optional[Union[str, os.PathLike[str]]] = None) -> None:
        self.path: str = os.fspath(path) if path is not None else locate()
        loader = getattr(ctypes, _BINDING.loader)
        try:
            if _BINDING.last_error is None:
                self._dll = loader(self.path, use_last_error=True)
            else:
                self._dll = loader(self.path)
        except OSError as error:
            built_for = _built_for(self.path)
            if built_for is None:
                raise
            # The loaders' own words for a library of another machine mislead:
            # "No such file or directory" (glibc), "not a valid Win32 application".
            raise OSError(f"zqcrypt: {self.path} is a library for {built_for}; this Python is a "
                          f"{8 * ctypes.sizeof(ctypes.c_void_p)}-bit {platform.machine()} process "
                          f"on {sys.platform}, and could not load it: {error}") from error
        for function, (_, argtypes) in SIGNATURES.items():
            bound = self._dll[_BINDING.names[function]]
            bound.argtypes = argtypes
            bound.restype = _U32
            setattr(self, "_" + function, bound)
        if _BINDING.last_error is not None:
            self._get_last_error = self._dll[_BINDING.last_error]
            self._get_last_error.argtypes = []
            self._get_last_error.restype = _U32

    def __repr__(self) -> str:
        return f"zqcrypt.Library({self.path!r})"

    def last_error(self) -> int:
        """The calling thread's last-error value as the library left it:
        0x80090006 (NTE_BAD_SIGNATURE) after verify() returned False."""
        if _BINDING.last_error is None:
            return ctypes.get_last_error() & 0xFFFFFFFF
        return int(self._get_last_error())

    def _run(
        self,
        function: ctypes._CFuncPtr,  # type: ignore[name-defined]
        data: BytesLike,
        what: str,
        length: Optional[Callable[[int], int]] = None,
    ) -> bytes:
        """Runs `function`(input, 0, output) over `data` and returns the
        output's bytes, or the first length(input size) of them. The output
        record is cleared whatever happens once it exists."""
        source = Borrowed(data)
        output = CryptBlob()
        try:
            if not function(source.blob, 0, output):
                raise MemoryError(f"zqcrypt: the library could not produce {what}")
            size = output.size if length is None else min(length(source.blob.size), output.size)
            return ctypes.string_at(output.data, size)
        finally:
            self._clear(output)
            source.release()

    def md5(self, data: BytesLike) -> bytes:
        """The 16-byte MD5 digest (RFC 1321) of `data`, any bytes-like object.

        Raises TypeError for an object without a buffer (str included),
        BufferError for one that is not contiguous, OverflowError for 4 GiB
        or more, MemoryError when the library's heap is exhausted.
        """
        return self._run(self._hash, data, "a digest")

    def b64encode(self, data: BytesLike) -> bytes:
        """The Base64 text of `data` (RFC 4648 alphabet, "=" padding) in the
        library's layout: CR LF after every 64 characters, the last line
        included when it is complete. The zero bytes the library puts behind
        the text are not returned.

        Raises as md5() does; MemoryError also for a text over 4 GiB.
        """
        return self._run(self._encode, data, "the text", _text_length)

    def b64decode(self, text: Union[str, BytesLike]) -> bytes:
        """The bytes of the Base64 text `text` (bytes-like, or a str of ASCII
        characters).

        The library never rejects text: it reads four characters at a time up
        to the first zero byte, skips CR, LF, space and TAB between groups,
        stops after the first group that ends in "=", and counts characters
        outside the alphabet as 0. Text made by b64encode() or any standard
        encoder comes back exactly; other text gives bytes, not an error.

        Raises ValueError for a str with non-ASCII characters, otherwise as
        md5() does.
        """
        if isinstance(text, str):
            text = text.encode("ascii")
        return self._run(self._decode, text, "the bytes")

    def verify(self, signature: BytesLike, key_blob: BytesLike, digest: BytesLike) -> bool:
        """Whether `signature` matches the 16-byte MD5 `digest` under the RSA
        public key `key_blob`.

        `signature` is the integer s, least significant byte first; `key_blob`
        is a PUBLICKEYBLOB (a PRIVATEKEYBLOB is read for its public part);
        `digest` is an MD5 value in its standard byte order.

        True means only that the lowest 128 bits of s^e mod n equal the
        digest; the padding and algorithm identifier above them are not
        examined, so with a small exponent such as 3 a signature can be forged
        for any digest. Read "What the signature check proves, and what it
        does not" in the README before relying on it.

        False means the check was made and the signature does not match; the
        thread's last_error() is then 0x80090006. A signature too short to
        hold a 32-bit word (an empty one included) is the integer 0.

        Raises CheckError when the check could not be made (see CheckError),
        never returning False for it; TypeError, BufferError and
        OverflowError as md5() does.
        """
        matches = ctypes.c_uint32(0)
        borrowed = []
        try:
            for data in (signature, key_blob, digest):
                borrowed.append(Borrowed(data))
            checked = self._verify(borrowed[0].blob, borrowed[1].blob, borrowed[2].blob, 0, matches)
        finally:
            for source in borrowed:
                source.release()
        if not checked:
            size = borrowed[2].blob.size
            reason = f"a digest of {size} bytes, not 16" if size != 16 else (
                "a key blob under 20 bytes, an operand over 16384 bits or an exhausted heap"
            )
            raise CheckError(f"zqcrypt: the signature check could not be made ({reason})")
        return matches.value == 1
