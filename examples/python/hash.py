"""The shortest correct host of zqcrypt in Python: prints the MD5 digest of
its first argument in hex. Needs the zqcrypt package (bindings/python) and
the library, found through ZQCRYPT_LIBRARY or installed with the package.

Usage: python3 hash.py "message"
"""
import sys

import zqcrypt

print(zqcrypt.md5(sys.argv[1].encode()).hex())
