"""Repeated calls leave the process's memory where it was: every output
record is released. Measured as resident memory, since the library keeps no
counters a host can read."""
import os
import struct

import pytest

import zqcrypt
from conftest import signature_records

KEY, DIGEST, SIGNATURE = signature_records()[0]
# A 64-bit key: the whole check runs, cheaply enough for many calls.
SMALL_KEY = KEY[:12] + struct.pack("<II", 64, 65537) + struct.pack("<Q", 0xC5A7F3B19D2E4C61)
TEXT_16K = zqcrypt.b64encode(bytes(range(256)) * 64)

# Calls enough that one lost block per call (the smallest is 16 bytes of
# digest and the heap's header) would grow memory by well over the limit.
CALLS = {
    "md5": (lambda: zqcrypt.md5(b"x" * 64), 300_000),
    "b64encode": (lambda: zqcrypt.b64encode(bytes(16384)), 3_000),
    "b64decode": (lambda: zqcrypt.b64decode(TEXT_16K), 3_000),
    "verify": (lambda: zqcrypt.verify(SIGNATURE[:8], SMALL_KEY, DIGEST), 100_000),
}
LIMIT = 4 << 20


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.parametrize("name", sorted(CALLS))
def test_repeated_calls_keep_memory_flat(name):
    call, repeats = CALLS[name]
    for _ in range(repeats // 10):
        call()
    before = resident_bytes()
    for _ in range(repeats):
        call()
    assert resident_bytes() - before < LIMIT
