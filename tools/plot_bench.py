#!/usr/bin/env python3
"""Throughput against input size, drawn from zqcrypt_bench's JSON.

Reads the JSON that zqcrypt_bench writes with --benchmark_out, one file per
ABI, and draws one SVG chart per operation: MD5, Base64 encode, Base64 decode
and RC4 (the "md5/", "b64encode/", "b64decode/" and "rc4/" rows), bytes per
second of CPU time against the input's size, both on log scales, with one line
per library and ABI: zqcrypt beside OpenSSL (or beside the plain byte loop
that stands in for OpenSSL's RC4 where its legacy provider is missing).

A point is the median of a row's plain runs, or the median that Google
Benchmark reports when only aggregates were kept. Rows that reported an error
are left out. The SVG files come out byte for byte the same from the same
input (fixed ids, no date, DejaVu Sans, text kept as text).

Usage:
  bash tools/bench.sh --plots          runs both ABIs' benchmarks, then this
  python3 tools/plot_bench.py --out docs/plots \\
      x86-64=build/linux/plots.json i386=build/linux32-bench/plots.json
"""
import argparse
import json
import os
import re
import statistics
import sys

import matplotlib

matplotlib.use("svg")
from matplotlib import pyplot, ticker  # noqa: E402  (after the backend is chosen)

# (file name, benchmark case, title)
OPERATIONS = (
    ("md5", "md5", "MD5"),
    ("base64-encode", "b64encode", "Base64 encode"),
    ("base64-decode", "b64decode", "Base64 decode"),
    ("rc4", "rc4", "RC4"),
)
SIDES = {"zqcrypt": "zqcrypt", "openssl": "OpenSSL", "reference": "byte loop"}
COLOURS = {"zqcrypt": "#1f77b4", "openssl": "#d62728", "reference": "#7f7f7f"}
LINES = (("-", "o"), ("--", "s"), (":", "^"), ("-.", "D"))  # one style per ABI
NAME = re.compile(r"^(\w+)/(\d+)(B|KiB|MiB)?/(\w+)$")
UNITS = {None: 1, "B": 1, "KiB": 1 << 10, "MiB": 1 << 20}


def read_rates(path):
    """{(case, size, side): bytes per second} from one benchmark JSON file."""
    plain, medians = {}, {}
    with open(path) as file:
        report = json.load(file)
    for run in report.get("benchmarks", []):
        match = NAME.match(run.get("run_name", ""))
        if run.get("error_occurred") or "bytes_per_second" not in run or not match:
            continue
        case, number, unit, side = match.groups()
        key = (case, int(number) * UNITS[unit], side)
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                medians.setdefault(key, []).append(run["bytes_per_second"])
        else:
            plain.setdefault(key, []).append(run["bytes_per_second"])
    rates = {key: statistics.median(values) for key, values in medians.items()}
    rates.update({key: statistics.median(values) for key, values in plain.items()})
    return rates


def format_size(size, _=None):
    for unit, scale in (("MiB", 1 << 20), ("KiB", 1 << 10)):
        if size >= scale:
            return f"{size / scale:g} {unit}"
    return f"{size:g} B"


def format_rate(rate, _=None):
    return f"{rate / 1e9:g} GB/s" if rate >= 1e9 else f"{rate / 1e6:g} MB/s"


def draw(title, series, path):
    """One chart: series is [(label, gid, colour, (line style, marker), [(size, rate)])]."""
    figure, axes = pyplot.subplots(figsize=(6.4, 4.2))
    sizes = set()
    for label, gid, colour, (style, marker), points in series:
        xs, ys = zip(*points)
        sizes.update(xs)
        line, = axes.plot(xs, ys, linestyle=style, marker=marker, markersize=4, color=colour, label=label)
        line.set_gid(gid)
    axes.set_xscale("log", base=2)
    axes.set_yscale("log")
    axes.xaxis.set_major_locator(ticker.FixedLocator(sorted(sizes)))
    axes.xaxis.set_major_formatter(ticker.FuncFormatter(format_size))
    axes.xaxis.set_minor_locator(ticker.NullLocator())
    axes.yaxis.set_major_locator(ticker.LogLocator(base=10, subs=(1, 2, 5)))
    axes.yaxis.set_major_formatter(ticker.FuncFormatter(format_rate))
    axes.yaxis.set_minor_formatter(ticker.NullFormatter())
    axes.tick_params(axis="x", labelrotation=45)
    axes.grid(True, which="major", color="#dddddd", linewidth=0.6)
    axes.set_title(f"{title}: throughput against input size")
    axes.set_xlabel("input size")
    axes.set_ylabel("bytes per second of CPU time")
    axes.legend(fontsize="small")
    figure.tight_layout()
    figure.savefig(path, metadata={"Date": None})
    pyplot.close(figure)


def plot(inputs, out):
    """Writes one chart per operation found in inputs [(abi, rates)]; returns the paths."""
    written = []
    for stem, case, title in OPERATIONS:
        series = []
        for side in SIDES:
            for abi_index, (abi, rates) in enumerate(inputs):
                points = sorted((size, rate) for (c, size, s), rate in rates.items() if c == case and s == side)
                if points:
                    gid = f"{stem}-{side}-{abi}"
                    series.append((f"{SIDES[side]}, {abi}", gid, COLOURS[side],
                                   LINES[abi_index % len(LINES)], points))
        if not series:
            print(f"plot_bench: no {case}/ rows in the input, no chart for {title}", file=sys.stderr)
            continue
        os.makedirs(out, exist_ok=True)
        path = os.path.join(out, f"{stem}.svg")
        draw(title, series, path)
        written.append(path)
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("inputs", nargs="+", metavar="ABI=JSON",
                        help="a label for the ABI and the zqcrypt_bench --benchmark_out JSON file of its run")
    parser.add_argument("--out", required=True, help="folder for the SVG files (made if missing)")
    args = parser.parse_args()

    inputs = []
    for item in args.inputs:
        abi, _, path = item.partition("=")
        if not abi or not path or not re.fullmatch(r"[\w.-]+", abi):
            parser.error(f"{item!r}: expected ABI=JSON, the ABI in letters, digits, '.', '_' or '-'")
        try:
            inputs.append((abi, read_rates(path)))
        except (OSError, ValueError, AttributeError, TypeError) as error:
            print(f"plot_bench: {path}: not a benchmark JSON file ({error})", file=sys.stderr)
            return 1

    matplotlib.rcParams.update({
        "svg.hashsalt": "zqcrypt",  # fixed ids for clip paths and markers
        "svg.fonttype": "none",  # text as text, not glyph outlines
        "font.family": "DejaVu Sans",
        "font.size": 9,
    })
    written = plot(inputs, args.out)
    if not written:
        print("plot_bench: no throughput rows in the input", file=sys.stderr)
        return 1
    for path in written:
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
