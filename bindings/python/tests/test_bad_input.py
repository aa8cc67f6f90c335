"""Bad input gives the documented exception or result, never a crash."""
import base64
import mmap
import sys

import pytest

import zqcrypt
from conftest import signature_records

KEY, DIGEST, SIGNATURE = signature_records()[0]


def four_gib():
    return (mmap.mmap(-1, 1 << 32),)  # address space only; nothing is touched


# (function, arguments made when the case runs, exception type or expected result)
CASES = {
    "md5 of a str": (zqcrypt.md5, lambda: ("text",), TypeError),
    "md5 of None": (zqcrypt.md5, lambda: (None,), TypeError),
    "md5 of an int": (zqcrypt.md5, lambda: (16,), TypeError),
    "md5 of a strided view": (zqcrypt.md5, lambda: (memoryview(b"abcdef")[::2],), BufferError),
    "md5 of 4 GiB": (zqcrypt.md5, four_gib, OverflowError),
    "b64encode of a str": (zqcrypt.b64encode, lambda: ("text",), TypeError),
    "b64decode of None": (zqcrypt.b64decode, lambda: (None,), TypeError),
    "b64decode of non-ASCII text": (zqcrypt.b64decode, lambda: ("YWJ\u00e9",), ValueError),
    "b64decode outside the alphabet": (
        zqcrypt.b64decode, lambda: (b"\xff!\x80~",), base64.b64decode(b"AAAA")),
    "b64decode stops after padding": (
        zqcrypt.b64decode, lambda: (b"YQ==YWJj",), base64.b64decode(b"YQ==")),
    "b64decode of empty text": (zqcrypt.b64decode, lambda: (b"",), b""),
    "verify with a 15-byte digest": (
        zqcrypt.verify, lambda: (SIGNATURE, KEY, DIGEST[:15]), zqcrypt.CheckError),
    "verify with a 17-byte digest": (
        zqcrypt.verify, lambda: (SIGNATURE, KEY, DIGEST + b"\0"), zqcrypt.CheckError),
    "verify with an empty digest": (
        zqcrypt.verify, lambda: (SIGNATURE, KEY, b""), zqcrypt.CheckError),
    "verify with a key under its header": (
        zqcrypt.verify, lambda: (SIGNATURE, KEY[:19], DIGEST), zqcrypt.CheckError),
    "verify with an empty signature": (zqcrypt.verify, lambda: (b"", KEY, DIGEST), False),
    "verify with a str signature": (zqcrypt.verify, lambda: ("sig", KEY, DIGEST), TypeError),
    "verify with a None key": (zqcrypt.verify, lambda: (SIGNATURE, None, DIGEST), TypeError),
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_bad_input(case):
    function, arguments, expected = CASES[case]
    if function is zqcrypt.md5 and arguments is four_gib and sys.maxsize < 1 << 32:
        pytest.skip("a 32-bit process cannot map 4 GiB")
    if isinstance(expected, type) and issubclass(expected, Exception):
        with pytest.raises(expected):
            function(*arguments())
    else:
        assert function(*arguments()) == expected
