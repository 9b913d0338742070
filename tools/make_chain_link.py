#!/usr/bin/env python3
"""Writes examples/chain-link.obj: one chain link, a tube of round section
bent round a stadium (two half circles joined by straight runs), its long
side along the scene's Z from 0 to its length, its width along Y. OBJ files
are right-handed with the scene's Z reversed (docs/scene-format.md, Units and
axes), so the file holds -z, and its faces turn counter-clockwise seen from
outside.

    tools/make_chain_link.py > examples/chain-link.obj
"""
import math

RUN = 14.0      # half the straight run of the centre line
BEND = 9.0      # radius of the centre line at the ends
WIRE = 3.0      # radius of the wire
ALONG = 48      # samples round the centre line
AROUND = 10     # samples round the wire


def centre_line():
    """Points and directions round the stadium, in its own YZ plane."""
    straight = 2 * RUN
    arc = math.pi * BEND
    total = 2 * straight + 2 * arc
    out = []
    for i in range(ALONG):
        s = total * i / ALONG
        if s < straight:                      # the run at y = +BEND, towards +z
            out.append(((BEND, -RUN + s), (0.0, 1.0)))
            continue
        s -= straight
        if s < arc:                           # the far end, round to y = -BEND
            a = s / BEND
            out.append(((BEND * math.cos(a), RUN + BEND * math.sin(a)), (-math.sin(a), math.cos(a))))
            continue
        s -= arc
        if s < straight:                      # back along y = -BEND
            out.append(((-BEND, RUN - s), (0.0, -1.0)))
            continue
        s -= straight
        a = math.pi + s / BEND                # the near end, back to the start
        out.append(((BEND * math.cos(a), -RUN + BEND * math.sin(a)), (-math.sin(a), math.cos(a))))
    return out


def main():
    length = 2 * (RUN + BEND + WIRE)
    print("# One chain link for examples/chain-on-knot.json, made by tools/make_chain_link.py:")
    print(f"# {length:g} units along Z (0 to {length:g}), {2 * (BEND + WIRE):g} across Y, {2 * WIRE:g} across X.")
    print("o Link")
    for (y, z), (dy, dz) in centre_line():
        # Round the wire: the X axis and the in-plane normal (dz, -dy).
        for j in range(AROUND):
            t = 2 * math.pi * j / AROUND
            nx, ny, nz = math.cos(t), math.sin(t) * dz, -math.sin(t) * dy
            print(f"v {WIRE * nx:.5f} {y + WIRE * ny:.5f} {-(z + WIRE * nz + length / 2):.5f}")
    for i in range(ALONG):
        for j in range(AROUND):
            a = i * AROUND + j
            b = i * AROUND + (j + 1) % AROUND
            c = ((i + 1) % ALONG) * AROUND + (j + 1) % AROUND
            d = ((i + 1) % ALONG) * AROUND + j
            print(f"f {a + 1} {d + 1} {c + 1} {b + 1}")


if __name__ == "__main__":
    main()
