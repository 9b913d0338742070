#!/usr/bin/env python3
"""Turns kurvo_bench JSON output (--benchmark_out) into the Markdown tables of
docs/performance.md: million points per CPU second of BM_ModifyObject, the
median of the repetitions (or the single run): a headline table (rings and
scattered points at the defaults), then one table per mesh size and order."""
import json
import re
import sys
from collections import defaultdict


def rate(entry):
    # items / CPU second; CPU time is given in the benchmark's time unit.
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry.get("time_unit", "ns")]
    points = int(re.search(r"points:(\d+)", entry["name"]).group(1))
    return points / (entry["cpu_time"] * scale) / 1e6


def main(path):
    runs = json.load(open(path))["benchmarks"]
    medians = [b for b in runs if b.get("aggregate_name") == "median"]
    chosen = medians or [b for b in runs if b.get("run_type", "iteration") == "iteration"]
    table = defaultdict(dict)
    for b in chosen:
        if not b["name"].startswith("BM_ModifyObject/"):
            continue
        args = dict(re.findall(r"(\w+):(\d+)", b["name"]))
        row = ("cubic" if args["cubic"] == "1" else "linear", int(args["controls"]))
        column = (int(args["up"]), "shaped" if args["shaped"] == "1" else "default")
        order = "scattered" if args.get("scattered") == "1" else "rings"
        table[(int(args["points"]), order)][(row, column)] = rate(b)
    # The headline: the defaults along the 8-point cubic path, the points in
    # rings and in any order, at every size.
    print("\nHeadline (million points per second, cubic 8-point path, up 0, default curves):\n")
    print("| points | rings | scattered |\n|---:|---:|---:|")
    for points in sorted({p for p, _ in table}):
        cells = [table.get((points, order), {}).get((("cubic", 8), (0, "default"))) for order in ("rings", "scattered")]
        print(f"| {points:,} | " + " | ".join(f"{v:.1f}" if v is not None else "–" for v in cells) + " |")
    columns = [(up, curves) for curves in ("default", "shaped") for up in (0, 1, 2, 3)]
    for points, order in sorted(table, key=lambda k: (k[0], k[1] != "rings")):
        print(f"\n{points:,} points, {order} (million points per second):\n")
        print("| path | " + " | ".join(f"up {u}, {c}" for u, c in columns) + " |")
        print("|---|" + "---:|" * len(columns))
        for row in [("linear", 8), ("linear", 1000), ("cubic", 8), ("cubic", 1000)]:
            cells = [table[(points, order)].get((row, col)) for col in columns]
            text = " | ".join(f"{v:.1f}" if v is not None else "–" for v in cells)
            print(f"| {row[0]}, {row[1]} points | {text} |")

if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "bench.json")
