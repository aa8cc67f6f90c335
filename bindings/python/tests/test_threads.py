"""Threads hashing and verifying at once, each checked against its reference,
and processes forked while they do."""
import hashlib
import multiprocessing
import random
import threading
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


def hash_once(data, expected):
    raise SystemExit(0 if zqcrypt.md5(data) == expected else 1)


def test_children_forked_while_threads_hash_can_hash():
    """fork (multiprocessing's way on Linux) copies the library as other
    threads use it; each child must still finish a call at once."""
    stop = threading.Event()

    def churn():
        while not stop.is_set():
            zqcrypt.md5(b"x" * 100)

    churners = [threading.Thread(target=churn) for _ in range(2)]
    for thread in churners:
        thread.start()
    data = bytes(range(200))
    outcomes = []
    try:
        for _ in range(40):
            child = multiprocessing.get_context("fork").Process(
                target=hash_once, args=(data, hashlib.md5(data).digest()))
            child.start()
            child.join(timeout=5)
            outcomes.append("hung" if child.is_alive() else child.exitcode)
            child.kill()
            child.join()
    finally:
        stop.set()
        for thread in churners:
            thread.join()
    assert outcomes == [0] * 40
