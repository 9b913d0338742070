#!/usr/bin/env python3
# compare_points.py EXPECTED.obj GOT.obj [--any-count]
# The points of GOT (all objects together) must be the points of EXPECTED:
# the same number (unless --any-count, for formats that store a point per
# triangle corner) and the same places within 1e-4 of the size.
import sys


def points(path):
    out = []
    with open(path) as f:
        for line in f:
            if line.startswith("v "):
                out.append(tuple(float(v) for v in line.split()[1:4]))
    return out


def main():
    expected, got = points(sys.argv[1]), points(sys.argv[2])
    any_count = "--any-count" in sys.argv
    size = max(max(abs(c) for c in p) for p in expected) or 1.0
    step = size * 1e-4
    problems = []
    if not any_count and len(expected) != len(got):
        problems.append("%d points, expected %d" % (len(got), len(expected)))

    def keys(ps):
        return {tuple(round(c / step) for c in p) for p in ps}

    def near(k, others):
        return any((k[0] + i, k[1] + j, k[2] + l) in others for i in (-1, 0, 1) for j in (-1, 0, 1) for l in (-1, 0, 1))

    a, b = keys(expected), keys(got)
    missing = [k for k in a if not near(k, b)]
    extra = [k for k in b if not near(k, a)]
    if missing or extra:
        problems.append("%d places missing, %d unexpected" % (len(missing), len(extra)))
    for p in problems:
        print("MISMATCH: %s: %s" % (sys.argv[2], p))
    print("%s: %d points, %s" % (sys.argv[2], len(got), "ok" if not problems else "differs"))
    sys.exit(1 if problems else 0)


main()
