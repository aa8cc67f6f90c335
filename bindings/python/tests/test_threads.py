"""Threads hashing and verifying at once, each checked against its reference,
and processes forked while they do."""
import hashlib
import os
import random
import signal
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import zqcrypt
from conftest import signature_records

RECORDS = [record for record in signature_records() if len(record[0]) <= 20 + 128]

# Set as every fork begins: this module registers after the package, so this
# runs before the package's own fork handler.
FORK_BEGINS = threading.Event()
os.register_at_fork(before=FORK_BEGINS.set)


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


def fork_and_hash(outcomes):
    """Forks a child (with os.fork, as multiprocessing's fork start method
    does) that hashes once; appends its exit code to `outcomes`, or "hung" if
    it has not finished within 20 s (a hung child never does; a loaded
    machine can take seconds). Several threads may call this at once:
    multiprocessing's own Process.join is not safe for that (another thread's
    start reaps children it did not make)."""
    data = bytes(range(200))
    expected = hashlib.md5(data).digest()
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            code = 0 if zqcrypt.md5(data) == expected else 1
        finally:
            os._exit(code)
    deadline = time.monotonic() + 20
    while True:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            outcomes.append(os.WEXITSTATUS(status) if os.WIFEXITED(status) else -1)
            return
        if time.monotonic() > deadline:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
            outcomes.append("hung")
            return
        time.sleep(0.002)


def test_children_forked_while_another_thread_loads_the_library_can_hash(monkeypatch):
    """The first call loads the library under a lock. Processes forked, from
    several threads, while another thread holds it mid-load: each child must
    finish a call of its own, not wait for a lock no thread of its own holds.
    The load waits until a fork has begun, so that the fork meets it under way."""
    load = zqcrypt.Library
    loading = threading.Event()

    def load_once_a_fork_begins():
        loading.set()
        FORK_BEGINS.wait(timeout=30)
        return load()

    monkeypatch.setattr(zqcrypt, "Library", load_once_a_fork_begins)
    outcomes = []
    for _ in range(3):
        monkeypatch.setattr(zqcrypt, "_default", None)
        loading.clear()
        FORK_BEGINS.clear()
        loader = threading.Thread(target=zqcrypt.md5, args=(b"",))
        loader.start()
        loading.wait(timeout=30)
        forkers = [threading.Thread(target=fork_and_hash, args=(outcomes,)) for _ in range(3)]
        for thread in forkers:
            thread.start()
        for thread in [*forkers, loader]:
            thread.join()
    assert outcomes == [0] * 9


class Interrupted(Exception):
    """What a signal handler raises into the package's fork handler."""


def test_a_fork_whose_wait_for_the_load_is_interrupted_leaves_a_child_that_can_hash(monkeypatch):
    """A signal handler's exception ends the fork handler's wait for another
    thread's load; the fork goes ahead without the lock. The parent must not
    release what it did not take, nor the child wait for a lock held by a
    thread it does not have. Another thread signals until the wait is hit."""
    monkeypatch.setattr(zqcrypt, "_default", None)
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: reported.append(report.exc_type))
    holding, interrupted, forked = threading.Event(), threading.Event(), threading.Event()

    def interrupt(signum, frame):
        if frame.f_code is zqcrypt._before_fork.__code__:
            interrupted.set()
            raise Interrupted

    def hold_the_lock():
        with zqcrypt._loading:
            holding.set()
            forked.wait(timeout=60)

    def signal_the_fork():
        while not interrupted.wait(timeout=0.01) and not forked.is_set():
            signal.pthread_kill(threading.main_thread().ident, signal.SIGUSR1)

    previous = signal.signal(signal.SIGUSR1, interrupt)
    holder, signaller = threading.Thread(target=hold_the_lock), threading.Thread(target=signal_the_fork)
    outcomes = []
    try:
        holder.start()
        holding.wait(timeout=30)
        signaller.start()
        fork_and_hash(outcomes)
    finally:
        forked.set()
        for thread in (holder, signaller):
            thread.join()
        signal.signal(signal.SIGUSR1, previous)
    assert (outcomes, reported) == ([0], [Interrupted])


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
    outcomes = []
    try:
        for _ in range(40):
            fork_and_hash(outcomes)
    finally:
        stop.set()
        for thread in churners:
            thread.join()
    assert outcomes == [0] * 40
