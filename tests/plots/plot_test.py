#!/usr/bin/env python3
"""tools/plot_bench.py on a short run of zqcrypt_bench.

Runs the MD5, Base64 and RC4 rows at three sizes with the shortest timing
(two repetitions, so that the input holds plain runs and aggregates), gives
the JSON to the plotting script as two ABIs (the second with its rows in
reverse), and checks that each of the four charts is well-formed SVG with its
title and sizes, one line per library and ABI through the three sizes in
order, and the same bytes when drawn again.

Usage: plot_test.py --script tools/plot_bench.py --bench build/linux/bin/zqcrypt_bench
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

SVG = "{http://www.w3.org/2000/svg}"
CHARTS = {"md5": "MD5", "base64-encode": "Base64 encode", "base64-decode": "Base64 decode", "rc4": "RC4"}
ABIS = ("x86-64", "i386")


def plot(script, out, *inputs):
    return subprocess.run([sys.executable, script, "--out", out, *inputs], capture_output=True, text=True)


def line_points(group):
    """The (x, y) vertices of the first path under a line's group, in order."""
    path = group.find(f"{SVG}path")
    numbers = [float(n) for n in re.findall(r"-?\d+(?:\.\d+)?(?:e-?\d+)?", path.get("d"))]
    return list(zip(numbers[0::2], numbers[1::2]))


def check_chart(path, stem):
    root = ElementTree.parse(path).getroot()
    assert root.tag == f"{SVG}svg", f"{path}: not SVG"
    texts = {"".join(t.itertext()).strip() for t in root.iter(f"{SVG}text")}
    assert f"{CHARTS[stem]}: throughput against input size" in texts, f"{path}: title missing from {texts}"
    assert {"64 B", "1 KiB", "16 KiB"} <= texts, f"{path}: sizes missing from {texts}"
    groups = {g.get("id"): g for g in root.iter(f"{SVG}g")}
    for side, label in (("zqcrypt", "zqcrypt"), ("openssl", "OpenSSL")):
        for abi in ABIS:
            assert f"{label}, {abi}" in texts, f"{path}: legend entry {label}, {abi} missing"
            gid = f"{stem}-{side}-{abi}"
            assert gid in groups, f"{path}: no line {gid} (lines: {sorted(g for g in groups if g)})"
            xs = [x for x, _ in line_points(groups[gid])]
            assert len(xs) == 3 and xs == sorted(xs) and len(set(xs)) == 3, f"{path}: {gid} goes through {xs}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--bench", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="zq-plot-test-") as scratch:
        data = os.path.join(scratch, "run.json")
        subprocess.run([args.bench, "--benchmark_filter=^(md5|b64encode|b64decode|rc4)/(64|1024|16384|64B|1KiB|16KiB)/",
                        "--benchmark_min_time=0.001", "--benchmark_repetitions=2",
                        f"--benchmark_out={data}", "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL)
        # The second ABI's input is the same run with its rows in reverse.
        with open(data) as file:
            report = json.load(file)
        report["benchmarks"].reverse()
        reversed_data = os.path.join(scratch, "reversed.json")
        with open(reversed_data, "w") as file:
            json.dump(report, file)
        inputs = [f"{ABIS[0]}={data}", f"{ABIS[1]}={reversed_data}"]
        for attempt in ("first", "second"):
            result = plot(args.script, os.path.join(scratch, attempt), *inputs)
            assert result.returncode == 0, result.stderr
        for stem in CHARTS:
            first, second = (os.path.join(scratch, attempt, f"{stem}.svg") for attempt in ("first", "second"))
            check_chart(first, stem)
            with open(first, "rb") as one, open(second, "rb") as other:
                assert one.read() == other.read(), f"{stem}.svg differs between two drawings"
    print("plot_bench: four charts checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
