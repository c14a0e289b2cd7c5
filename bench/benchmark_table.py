#!/usr/bin/env python3
"""Turns codec_bench's JSON output into the markdown tables of docs/benchmarks.md."""
import json
import sys

LEVELS = ["fast", "default", "best"]


def main(path):
    with open(path) as f:
        report = json.load(f)
    rows = {}  # file -> {key: value}
    for bench in report["benchmarks"]:
        if bench.get("error_occurred"):
            print(f"error in {bench['name']}: {bench.get('error_message')}", file=sys.stderr)
            continue
        if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
            continue
        parts = bench["name"].split("/")
        kind = parts[0]
        if kind in ("encode", "decode"):
            level, file = parts[1], parts[2]
            key = f"{kind}/{level}"
        else:
            file = parts[1]
            key = kind
        row = rows.setdefault(file, {})
        row[key + "/speed"] = bench["bytes_per_second"] / 1e6
        if "size" in bench:
            row[key + "/size"] = bench["size"]

    files = sorted(f for f in rows if f != "corpus") + (["corpus"] if "corpus" in rows else [])

    print("Coded size in bytes (and relative to gzip -9):\n")
    print("| file | fast | default | best | gzip -9 | best vs fast |")
    print("|---|---:|---:|---:|---:|---:|")
    for file in files:
        row = rows[file]
        gzip = row.get("gzip-9/size")
        cells = []
        for level in LEVELS:
            size = row.get(f"encode/{level}/size")
            if size is None:
                cells.append("-")
            elif gzip:
                cells.append(f"{size:,.0f} ({(size / gzip - 1) * 100:+.1f}%)")
            else:
                cells.append(f"{size:,.0f}")
        fast, best = row.get("encode/fast/size"), row.get("encode/best/size")
        gain = f"{(1 - best / fast) * 100:.1f}% smaller" if fast and best else "-"
        gzip_cell = f"{gzip:,.0f}" if gzip else "-"
        print(f"| {file} | {' | '.join(cells)} | {gzip_cell} | {gain} |")

    print("\nSpeed in MB/s (10^6 bytes per CPU second; encode: of input, decode: of output):\n")
    print("| file | encode fast | encode default | encode best | gzip -9 "
          "| decode fast | decode default | decode best | gzip -d |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for file in files:
        row = rows[file]

        def speed(key):
            value = row.get(key + "/speed")
            return f"{value:.1f}" if value is not None else "-"

        cells = [speed(f"encode/{level}") for level in LEVELS] + [speed("gzip-9")]
        cells += [speed(f"decode/{level}") for level in LEVELS] + [speed("gzip-d")]
        print(f"| {file} | {' | '.join(cells)} |")


if __name__ == "__main__":
    main(sys.argv[1])
