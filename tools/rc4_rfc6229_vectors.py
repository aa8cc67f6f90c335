#!/usr/bin/env python3
"""Writes tests/vectors/rc4_rfc6229.txt: the RC4 keystreams of RFC 6229 section 2.

Both key families of the RFC (the prefixes of 0x0102...20 and the suffixes of
0x1ada...772a, at 40, 56, 64, 80, 128, 192 and 256 bits), 16 keystream bytes at
each of the RFC's offsets. The bytes come from OpenSSL's RC4 through Python's
`cryptography` package; the 40-bit rows are checked once more against the
OpenSSL command line (`openssl enc -rc4-40 ... -provider legacy`).

Usage: tools/rc4_rfc6229_vectors.py > tests/vectors/rc4_rfc6229.txt
"""
import subprocess
import sys

from cryptography.hazmat.decrepit.ciphers.algorithms import ARC4
from cryptography.hazmat.primitives.ciphers import Cipher

FAMILIES = [
    ("prefix", bytes(range(1, 33))),
    ("suffix", bytes.fromhex("1ada31d5cf688221c109163908ebe51debb46227c6cc8b37641910833222772a")),
]
KEY_BYTES = [5, 7, 8, 10, 16, 24, 32]
OFFSETS = [0, 16, 240, 256, 496, 512, 752, 768, 1008, 1024, 1520, 1536,
           2032, 2048, 3056, 3072, 4080, 4096]
SPAN = OFFSETS[-1] + 16


def keystream(key):
    return Cipher(ARC4(key), mode=None).encryptor().update(bytes(SPAN))


def keystream_by_command_line(key):
    run = subprocess.run(
        ["openssl", "enc", "-rc4-40", "-K", key.hex(), "-provider", "legacy", "-provider", "default"],
        input=bytes(SPAN), capture_output=True, check=True)
    return run.stdout


def main():
    out = sys.stdout
    out.write("# RFC 6229 section 2 RC4 keystreams, by tools/rc4_rfc6229_vectors.py from OpenSSL's RC4 "
              "(Python cryptography ARC4; 40-bit rows also by openssl enc -rc4-40 -provider legacy)\n")
    for family, material in FAMILIES:
        for n in KEY_BYTES:
            key = material[:n] if family == "prefix" else material[-n:]
            stream = keystream(key)
            if n == 5 and keystream_by_command_line(key) != stream:
                sys.exit("the openssl command line disagrees for key " + key.hex())
            out.write("\nKey = %s\n" % key.hex())
            for offset in OFFSETS:
                out.write("%d = %s\n" % (offset, stream[offset:offset + 16].hex()))


if __name__ == "__main__":
    main()
