"""Threads hashing and verifying at once, each checked against its reference."""
import hashlib
import random
from concurrent.futures import ThreadPoolExecutor

import zqcrypt
from conftest import signature_records

RECORDS = [record for record in signature_records() if len(record[0]) <= 20 + 128]


def work(seed):
    rng = random.Random(seed)
    for _ in range(40):
        data = rng.randbytes(rng.randrange(4000))
        assert zqcrypt.md5(data) == hashlib.md5(data).digest()
        assert zqcrypt.b64decode(zqcrypt.b64encode(data)) == data
        key, digest, signature = rng.choice(RECORDS)
        assert zqcrypt.verify(signature, key, digest)
        assert not zqcrypt.verify(signature, key, digest[::-1])
        assert zqcrypt.last_error() == zqcrypt.NTE_BAD_SIGNATURE


def test_threads_hash_and_verify_at_once():
    with ThreadPoolExecutor(max_workers=8) as pool:
        for outcome in [pool.submit(work, seed) for seed in range(8)]:
            outcome.result()
