"""Each function against its reference: hashlib, base64, and signatures made
by OpenSSL."""
import base64
import hashlib
import random

import pytest

import zqcrypt
from conftest import signature_records

SIZES = [0, 1, 2, 3, 45, 46, 48, 49, 55, 56, 64, 95, 96, 1000, 65539]


def data_of(size):
    return random.Random(size).randbytes(size)


def library_layout(data):
    """Base64 with CR LF after every complete line of 64 characters."""
    flat = base64.b64encode(data)
    lines = [flat[i : i + 64] for i in range(0, len(flat), 64)]
    return b"".join(line + b"\r\n" if len(line) == 64 else line for line in lines)


@pytest.mark.parametrize("size", SIZES)
def test_md5_matches_hashlib(size, as_type):
    data = data_of(size)
    assert zqcrypt.md5(as_type(data)) == hashlib.md5(data).digest()


@pytest.mark.parametrize("size", SIZES)
def test_b64encode_matches_base64_in_lines_of_64(size, as_type):
    data = data_of(size)
    assert zqcrypt.b64encode(as_type(data)) == library_layout(data)


@pytest.mark.parametrize("layout", [library_layout, base64.b64encode, base64.encodebytes])
@pytest.mark.parametrize("size", SIZES)
def test_b64decode_inverts_base64(size, layout, as_type):
    data = data_of(size)
    assert zqcrypt.b64decode(as_type(layout(data))) == data


@pytest.mark.parametrize("record", signature_records(), ids=lambda r: f"{len(r[0])}-byte key")
def test_verify_matches_openssl_signatures(record, as_type):
    key, digest, signature = record
    assert zqcrypt.verify(as_type(signature), as_type(key), as_type(digest)) is True
    flipped = bytearray(digest)
    flipped[len(signature) % 16] ^= 0x80
    assert zqcrypt.verify(as_type(signature), as_type(key), as_type(bytes(flipped))) is False
    assert zqcrypt.last_error() == zqcrypt.NTE_BAD_SIGNATURE
