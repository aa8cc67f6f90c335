#!/usr/bin/env python3
"""Writes tests/vectors/base64_text.txt: pseudo-random inputs of every length
from 0 to 200 bytes and a few longer ones, each with the whole block the Base64
encoder must write for it.

The characters come from Python's base64 module (RFC 4648 alphabet, "="
padding). The block is that text cut into lines of 64 characters, each
complete line followed by CR LF and a last shorter line by nothing, then 4
zero bytes, or 6 when the number of complete lines is odd (which keeps the
block a multiple of 4 bytes).

Usage: python3 tools/gen_base64_vectors.py > tests/vectors/base64_text.txt
"""
import base64
import random
import sys

LENGTHS = list(range(0, 201)) + [255, 256, 1000, 3071, 3072, 3073]


def block_for(data):
    text = base64.b64encode(data)
    lines = [text[i:i + 64] for i in range(0, len(text), 64)]
    complete = sum(1 for line in lines if len(line) == 64)
    body = b"".join(line + b"\r\n" if len(line) == 64 else line for line in lines)
    return body + b"\0" * (4 if complete % 2 == 0 else 6)


def main():
    rng = random.Random(20240607)
    out = sys.stdout
    out.write("# Base64 text blocks: characters by Python %s base64.b64encode, "
              "written by tools/gen_base64_vectors.py.\n" % sys.version.split()[0])
    out.write("# In: input bytes in hex. Out: the encoder's whole block in hex "
              "(64-character lines ended by CR LF, then 4 or 6 zero bytes).\n")
    for n in LENGTHS:
        data = bytes(rng.getrandbits(8) for _ in range(n))
        block = block_for(data)
        assert base64.b64decode(block.rstrip(b"\0").replace(b"\r\n", b"")) == data
        out.write("\n[%d bytes]\n" % n)
        out.write("In = %s\n" % data.hex())
        out.write("Out = %s\n" % block.hex())


if __name__ == "__main__":
    main()
