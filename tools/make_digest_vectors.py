#!/usr/bin/env python3
"""Writes the MD5 and SHA-0 known-answer files of tests/vectors/.

  python3 tools/make_digest_vectors.py [output folder]   (default: tests/vectors)

md5.txt         RFC 1321 appendix A.5 suite and padding boundaries. Every
                digest comes from OpenSSL (`openssl dgst -md5`), is checked
                against Python's hashlib, and the seven A.5 values are checked
                against the digests printed in the RFC.
md5_random.txt  MD5 of pseudo-random inputs made by the generator below, the
                digests from OpenSSL (and checked against hashlib).
sha0.txt        FIPS PUB 180 (1993) messages, the empty message and padding
                boundaries.
sha0_random.txt SHA-0 of pseudo-random inputs of every length from 0 to 129
                bytes (every padding position) and two longer ones. Neither OpenSSL 3 nor hashlib offers SHA-0, so the
                digests come from the small reference implementation below.
                It is checked two ways: with the one-bit rotation of the
                message schedule switched on it must reproduce hashlib's SHA-1
                for every message, and without it the three FIPS 180 messages
                must give the digests printed in the standard.

The pseudo-random inputs: a 32-bit xorshift generator (Marsaglia 2003, shifts
13, 17, 5) started from the record's Seed; each step updates the state and the
next input byte is bits 24 to 31 of the new state.
"""
import hashlib
import os
import subprocess
import sys


def xorshift_bytes(seed, length):
    x = seed & 0xFFFFFFFF
    out = bytearray(length)
    for i in range(length):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out[i] = x >> 24
    return bytes(out)


def openssl_md5(data):
    result = subprocess.run(["openssl", "dgst", "-md5", "-binary"], input=data,
                            capture_output=True, check=True)
    digest = result.stdout.hex()
    assert digest == hashlib.md5(data).hexdigest()
    return digest


def rol(x, n):
    return ((x << n) | (x >> (32 - n))) & 0xFFFFFFFF


def sha_reference(data, rotate_schedule):
    """FIPS 180 (SHA-0) or, with rotate_schedule, FIPS 180-1 (SHA-1)."""
    h = [0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0]
    bit_length = 8 * len(data)
    data = data + b"\x80" + b"\x00" * ((55 - len(data)) % 64) + bit_length.to_bytes(8, "big")
    for offset in range(0, len(data), 64):
        w = [int.from_bytes(data[offset + 4 * i:offset + 4 * i + 4], "big") for i in range(16)]
        for t in range(16, 80):
            v = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16]
            w.append(rol(v, 1) if rotate_schedule else v)
        a, b, c, d, e = h
        for t in range(80):
            if t < 20:
                f, k = (b & c) | (~b & d), 0x5A827999
            elif t < 40:
                f, k = b ^ c ^ d, 0x6ED9EBA1
            elif t < 60:
                f, k = (b & c) | (b & d) | (c & d), 0x8F1BBCDC
            else:
                f, k = b ^ c ^ d, 0xCA62C1D6
            a, b, c, d, e = (rol(a, 5) + f + e + w[t] + k) & 0xFFFFFFFF, a, rol(b, 30), c, d
        h = [(x + y) & 0xFFFFFFFF for x, y in zip(h, (a, b, c, d, e))]
    return b"".join(x.to_bytes(4, "big") for x in h).hex()


def sha0(data):
    assert sha_reference(data, True) == hashlib.sha1(data).hexdigest()
    return sha_reference(data, False)


# Message records: (comment, bytes, repeat). The input is `bytes` repeated
# `repeat` times.
RFC1321_SUITE = [
    (b"", "d41d8cd98f00b204e9800998ecf8427e"),
    (b"a", "0cc175b9c0f1b6a831c399e269772661"),
    (b"abc", "900150983cd24fb0d6963f7d28e17f72"),
    (b"message digest", "f96b697d7cb7938d525a2f31aaf161d0"),
    (b"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"),
    (b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"),
    (b"1234567890" * 8, "57edf4a22be3c955ac49da2e2107b67a"),
]

# Not in RFC 1321; the value is OpenSSL's, asserted here so that a change of
# oracle shows.
MILLION_A_MD5 = (b"a", 1000000, "7707d6ae4e027c70eea2a935c2296f21")

FIPS180_SUITE = [
    (b"abc", 1, "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880"),
    (b"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
     "d2516ee1acfa5baf33dfc1c471e438449ef134c8"),
    (b"a", 1000000, "3232affa48628a26653b5aaa44541fd90d690603"),
]

# Padding boundaries: 55 bytes (finish compresses once), 56 (twice), 63, 64
# (one whole block), 65, 119, 120, 128.
BOUNDARY_LENGTHS = [55, 56, 57, 63, 64, 65, 119, 120, 127, 128]

SHA0_RANDOM_RECORDS = [(100 + length, length) for length in range(130)] + [(300, 1000), (301, 10000)]

RANDOM_RECORDS = [(1, 1), (2, 3), (3, 55), (4, 56), (5, 63), (6, 64), (7, 65), (8, 127),
                  (9, 1000), (10, 4096), (11, 10000), (12, 65537), (13, 1048589)]


def record(lines, fields):
    for key, value in fields:
        lines.append(f"{key} = {value}".rstrip())
    lines.append("")


def write(path, header, lines):
    with open(path, "w") as out:
        out.write("\n".join(header) + "\n\n" + "\n".join(lines))


def known_answer_lines(published_suite, digest_function):
    """Records of the published messages, each checked against its published
    digest, then the padding boundaries (runs of "a")."""
    lines = []
    for message, repeat, published in published_suite:
        digest = digest_function(message * repeat)
        assert digest == published, message
        record(lines, [("In", message.hex()), ("Repeat", repeat), ("Digest", digest)])
    for length in BOUNDARY_LENGTHS:
        record(lines, [("In", "61"), ("Repeat", length), ("Digest", digest_function(b"a" * length))])
    return lines


def random_lines(records, digest_function):
    lines = []
    for seed, length in records:
        digest = digest_function(xorshift_bytes(seed, length))
        record(lines, [("Seed", seed), ("Length", length), ("Digest", digest)])
    return lines


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "vectors")
    hex_note = "# In: message bytes in hex, repeated Repeat times (default 1)."

    write(os.path.join(folder, "md5.txt"), [
        "# MD5: RFC 1321 appendix A.5 suite, then padding boundaries; digests by OpenSSL",
        "# (openssl dgst -md5), written by tools/make_digest_vectors.py.", hex_note],
        known_answer_lines([(m, 1, d) for m, d in RFC1321_SUITE] + [MILLION_A_MD5], openssl_md5))

    write(os.path.join(folder, "md5_random.txt"), [
        "# MD5 of pseudo-random inputs; digests by OpenSSL (openssl dgst -md5), written by",
        "# tools/make_digest_vectors.py. Input: Length bytes from a 32-bit xorshift",
        "# generator (x ^= x << 13; x ^= x >> 17; x ^= x << 5) started at x = Seed, each",
        "# byte being bits 24 to 31 of the state after its step."],
        random_lines(RANDOM_RECORDS, openssl_md5))

    write(os.path.join(folder, "sha0.txt"), [
        "# SHA-0: FIPS PUB 180 (1993) appendix messages, then the empty message and padding",
        "# boundaries; digests by the reference code of tools/make_digest_vectors.py (checked",
        "# against hashlib SHA-1 with the schedule rotation on, and against the FIPS 180 values).",
        hex_note],
        known_answer_lines(FIPS180_SUITE + [(b"", 1, "f96cea198ad1dd5617ac084a3d92c6107708c0ef")], sha0))

    write(os.path.join(folder, "sha0_random.txt"), [
        "# SHA-0 of pseudo-random inputs; digests by the reference code of",
        "# tools/make_digest_vectors.py (checked against hashlib SHA-1 with the schedule rotation",
        "# on). Input: as in md5_random.txt, Length bytes of the xorshift generator from Seed."],
        random_lines(SHA0_RANDOM_RECORDS, sha0))


if __name__ == "__main__":
    main()
