#!/usr/bin/env python3
"""How the cost of a signature check grows with the key.

Reads the JSON that zqcrypt_bench writes with --benchmark_out (the
rsa-verify-e<exponent>/<bits>/<zqcrypt|openssl> rows) and prints, in
Markdown, the CPU time per check of each side at each size and exponent with
the ratio OpenSSL time / zqcrypt time, then the exponent k of time ~ bits^k
fitted by least squares to log(time) against log(bits), and the slope
between each pair of neighbouring sizes.

With repetitions, each row's time is the median of its plain runs, or the
median that Google Benchmark reports when only aggregates were kept (as in
the benchmark's own table). Rows that reported an error are left out.

Usage:
  ZQ_BENCH_CPU=1 bash tools/bench.sh --benchmark_filter='^rsa-verify-' \\
      --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \\
      --benchmark_out=build/linux/rsa-verify.json --benchmark_out_format=json
  python3 tools/cost_curve.py build/linux/rsa-verify.json [--fit-sizes 2048,4096,...]
  python3 tools/cost_curve.py --self-test
"""
import argparse
import json
import math
import re
import statistics
import sys

NAME = re.compile(r"^rsa-verify-e(\d+)/(\d+)/(zqcrypt|openssl)$")
SIDES = ("zqcrypt", "openssl")
TO_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def read_times(paths):
    """{(exponent, bits, side): seconds} from benchmark JSON files."""
    plain, medians = {}, {}
    for path in paths:
        with open(path) as file:
            report = json.load(file)
        for run in report.get("benchmarks", []):
            if run.get("error_occurred"):
                continue
            match = NAME.match(run.get("run_name", run.get("name", "")))
            if not match:
                continue
            key = (int(match.group(1)), int(match.group(2)), match.group(3))
            seconds = run["cpu_time"] * TO_SECONDS[run.get("time_unit", "ns")]
            if run.get("run_type") == "aggregate":
                if run.get("aggregate_name") == "median":
                    medians.setdefault(key, []).append(seconds)
            else:
                plain.setdefault(key, []).append(seconds)
    times = {key: statistics.median(values) for key, values in medians.items()}
    times.update({key: statistics.median(values) for key, values in plain.items()})
    return times


def fit_exponent(points):
    """Least-squares slope of log(time) against log(bits): k in time ~ bits^k."""
    xs = [math.log(bits) for bits, _ in points]
    ys = [math.log(seconds) for _, seconds in points]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)


def format_time(seconds):
    microseconds = seconds * 1e6
    if microseconds >= 10000:
        return f"{microseconds / 1000:.1f} ms"
    if microseconds >= 100:
        return f"{microseconds:.0f} µs"
    return f"{microseconds:.1f} µs"


def report(times, fit_sizes=None):
    exponents = sorted({e for e, _, _ in times}, reverse=True)
    sizes = sorted({b for _, b, _ in times})
    lines = []
    header = ["key bits"]
    for e in exponents:
        header += [f"e = {e}: zqcrypt", "OpenSSL", "ratio"]
    lines.append("| " + " | ".join(header) + " |")
    lines.append("|" + "---|" * len(header))
    for bits in sizes:
        cells = [str(bits)]
        for e in exponents:
            zq, peer = times.get((e, bits, "zqcrypt")), times.get((e, bits, "openssl"))
            cells += [format_time(zq) if zq else "", format_time(peer) if peer else "",
                      f"{peer / zq:.3f}" if zq and peer else ""]
        lines.append("| " + " | ".join(cells) + " |")

    lines.append("")
    header = ["exponent k of time ~ bits^k"]
    for e in exponents:
        header += [f"e = {e}: zqcrypt", "OpenSSL"]
    lines.append("| " + " | ".join(header) + " |")
    lines.append("|" + "---|" * len(header))
    used = [b for b in sizes if fit_sizes is None or b in fit_sizes]
    cells = [f"least squares, {', '.join(map(str, used))} bits"]
    for e in exponents:
        for side in SIDES:
            points = [(b, times[(e, b, side)]) for b in used if (e, b, side) in times]
            cells.append(f"{fit_exponent(points):.2f}" if len(points) >= 2 else "")
    lines.append("| " + " | ".join(cells) + " |")
    for low, high in zip(sizes, sizes[1:]):
        cells = [f"from {low} to {high} bits"]
        for e in exponents:
            for side in SIDES:
                a, b = times.get((e, low, side)), times.get((e, high, side))
                cells.append(f"{math.log(b / a) / math.log(high / low):.2f}" if a and b else "")
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def self_test():
    sizes = [1024, 2048, 3072, 4096, 8192, 16384]
    times = {}
    for e, k in ((65537, 2.0), (3, 1.5)):
        for bits in sizes:
            times[(e, bits, "zqcrypt")] = 3e-9 * bits ** k
            times[(e, bits, "openssl")] = 1e-10 * bits ** (k + 0.25)
    assert abs(fit_exponent([(b, times[(3, b, "zqcrypt")]) for b in sizes]) - 1.5) < 1e-9
    text = report(times)
    assert "| least squares, 1024, 2048, 3072, 4096, 8192, 16384 bits | 2.00 | 2.25 | 1.50 | 1.75 |" in text, text
    assert "| from 8192 to 16384 bits | 2.00 | 2.25 | 1.50 | 1.75 |" in text, text
    print("cost_curve self-test passed")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("json", nargs="*", help="zqcrypt_bench --benchmark_out JSON files")
    parser.add_argument("--fit-sizes", help="comma-separated key sizes for the fit (default: all)")
    parser.add_argument("--self-test", action="store_true", help="check the fit on made-up times")
    args = parser.parse_args()
    if args.self_test:
        self_test()
        return 0
    if not args.json:
        parser.error("name at least one JSON file")
    times = read_times(args.json)
    if not times:
        print("no rsa-verify rows in the input", file=sys.stderr)
        return 1
    fit_sizes = {int(s) for s in args.fit_sizes.split(",")} if args.fit_sizes else None
    print(report(times, fit_sizes))
    return 0


if __name__ == "__main__":
    sys.exit(main())
