"""Calls per second of zqcrypt.md5 beside hashlib.md5 from Python, on
messages of 64 bytes (and more, when sizes are given), with timeit.

Usage: ZQCRYPT_LIBRARY=build/linux/lib/libzqcrypt.so PYTHONPATH=bindings/python \\
           /usr/bin/python3 bench/python_md5.py [size ...]
"""
import hashlib
import sys
import timeit

import zqcrypt


def rate(function, data, repeat=7):
    """The best of `repeat` runs, in calls per second."""
    timer = timeit.Timer(lambda: function(data))
    calls, _ = timer.autorange()
    return calls / min(timer.repeat(repeat=repeat, number=calls))


def main():
    sizes = [int(size) for size in sys.argv[1:]] or [64]
    contenders = {
        "zqcrypt.md5": zqcrypt.md5,
        "hashlib.md5": lambda data: hashlib.md5(data).digest(),
    }
    print(f"{'size':>8} " + " ".join(f"{name + ' calls/s':>22}" for name in contenders) + "   ratio")
    for size in sizes:
        data = bytes(range(256)) * (size // 256) + bytes(range(size % 256))
        rates = [rate(function, data) for function in contenders.values()]
        print(f"{size:>8} " + " ".join(f"{r:>22,.0f}" for r in rates) + f"   {rates[0] / rates[1]:.2f}")


if __name__ == "__main__":
    main()
