"""Shared inputs of the zqcrypt package tests: the bytes-like types every
function must take, and the OpenSSL-made signatures of tests/vectors."""
import array
import ctypes
import mmap
import os

import pytest

VECTORS = os.environ.get("ZQ_VECTORS_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tests", "vectors"
)


class BytesSubclass(bytes):
    pass


def _mapped(data):
    if not data:
        pytest.skip("an mmap cannot be empty")
    mapped = mmap.mmap(-1, len(data))
    mapped.write(data)
    return mapped


def _words(data):
    if len(data) % 2:
        pytest.skip("an array of 16-bit items holds an even number of bytes")
    return array.array("H", data)


# Each turns bytes into an object of another bytes-like type with the same bytes.
BYTES_LIKE = {
    "bytes": bytes,
    "bytes subclass": BytesSubclass,
    "bytearray": bytearray,
    "memoryview": memoryview,
    "read-only memoryview": lambda data: memoryview(bytearray(data)).toreadonly(),
    "memoryview inside a larger buffer": lambda data: memoryview(b"<<" + data + b">>")[2:-2],
    "array of bytes": lambda data: array.array("B", data),
    "array of 16-bit items": _words,
    "mmap": _mapped,
    "ctypes array": lambda data: (ctypes.c_ubyte * len(data)).from_buffer_copy(data),
}


@pytest.fixture(params=sorted(BYTES_LIKE))
def as_type(request):
    """A function that gives the same bytes as one bytes-like type."""
    return BYTES_LIKE[request.param]


def signature_records():
    """(key blob, digest, signature) of every signature in rsa_md5_signatures.txt."""
    records, key, digest = [], None, None
    with open(os.path.join(VECTORS, "rsa_md5_signatures.txt")) as lines:
        for line in lines:
            name, _, value = (part.strip() for part in line.partition("="))
            if name == "Key":
                key = bytes.fromhex(value)
            elif name == "Digest":
                digest = bytes.fromhex(value)
            elif name == "Signature":
                records.append((key, digest, bytes.fromhex(value)))
    assert records, "no signatures read"
    return records
