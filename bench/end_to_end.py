#!/usr/bin/env python3
"""End-to-end timings of `kurvo eval`, and the same jobs in Blender.

Builds its scenes in a temporary folder: a tube of 100 points around and N/100
rings along a 400-unit axis, bent by one deformer along an 8-point cubic path
(the figures of docs/performance.md). Prints Markdown tables:

  files      - 10^6 points: OBJ to OBJ, OBJ to GLB, OBJ to JSON, primitive to OBJ
  textured   - a 1000 x 1000 grid (10^6 points) read from OBJ bare and with a
               UV per point and a normal per point on every corner (f p/t/n),
               to OBJ and to GLB: the time with the attributes over the time
               without, and peak memory over the mesh's own size
  points     - OBJ to OBJ and primitive to OBJ at 10^4 .. 10^7 points
  objects    - 1, 10, 100, 1,000 deformed tubes of 1,000 points each, to OBJ
  blender    - the side-by-side table: the deformation alone at 10^4 .. 10^6
               points (rings and scattered), and OBJ file to OBJ file, whole
               processes on both sides, on the 10^6-point tube and on a mesh
               in a modelling tool's order (Blender's subdivided icosphere),
               kurvo beside Blender

Wall time is the median of --rounds runs; peak memory (max RSS) comes from
/usr/bin/time. The deformation alone on kurvo's side is the benchmark
BM_ModifyObject (a build with -DKURVO_BUILD_BENCH=ON, see --bench).

Usage: bench/end_to_end.py [--build build] [--tables files,textured,points,objects]
       [--rounds 3] [--blender] [--install-blender] [--bench build-perf/bin/kurvo_bench]
Blender runs only with --blender (Debian's `blender`, headless);
--install-blender installs it (and numpy) through scripts/install-deps.sh.
"""
import argparse
import json
import math
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PATH = [[0, 0, 0], [40, 30, 57], [-20, 60, 114], [30, 10, 171], [0, -40, 228], [-40, 0, 285], [10, 50, 342],
        [0, 0, 400]]
AROUND = 100


def path_object():
    return {"name": "Path", "type": "spline", "interpolation": "cubic", "points": PATH}


def bend(offset, name="Bend"):
    return {"name": name, "type": 1024244, "position": [0, 0, offset], "deform": True,
            "params": {"KURVO_SPLINE": "Path"}}


def tube(name, points, source=None, x=0.0, deformed=True):
    obj = {"name": name, "type": "polygon"}
    if source:  # an OBJ of the rest tube, z from 0 to 400 once read
        obj["mesh"] = source
        obj["position"] = [x, 0, 0]
        offset = 0
    else:
        rings = points // AROUND
        obj["primitive"] = {"kind": "tube", "radius": 5, "height": 400, "rotation_segments": AROUND,
                            "height_segments": rings - 1}
        obj["position"] = [x, 0, 200]
        offset = -200
    if deformed:
        obj["children"] = [bend(offset, "Bend" + name[len("Tube"):])]
    return obj


def write_scene(folder, name, objects):
    file = os.path.join(folder, name)
    with open(file, "w") as f:
        json.dump({"format": "kurvo-scene", "version": 1, "objects": [path_object()] + objects}, f)
    return file


class Runner:
    def __init__(self, kurvo, rounds, folder):
        self.kurvo, self.rounds, self.folder = kurvo, rounds, folder

    def samples(self, command):
        """Wall seconds, CPU seconds (user + system), user CPU seconds and
        peak RSS (MB) of each of the runs."""
        walls, cpus, users, peaks = [], [], [], []
        for _ in range(self.rounds):
            log = os.path.join(self.folder, "time.txt")
            start = time.perf_counter()
            subprocess.run(["/usr/bin/time", "-o", log, "-f", "%U %S %M"] + command, check=True,
                           stdout=subprocess.DEVNULL)
            walls.append(time.perf_counter() - start)
            with open(log) as f:
                user, system, peak = f.read().split()[-3:]
            cpus.append(float(user) + float(system))
            users.append(float(user))
            peaks.append(int(peak) / 1024)
        return walls, cpus, users, peaks

    def measure(self, command):
        """Median wall seconds, median CPU seconds (user + system) and the
        largest peak RSS (MB) of the runs."""
        walls, cpus, _, peaks = self.samples(command)
        return statistics.median(walls), statistics.median(cpus), max(peaks)

    def eval_command(self, scene, out):
        return [self.kurvo, "eval", "--quiet", scene, "-o", os.path.join(self.folder, out)]

    def eval(self, scene, out):
        return self.measure(self.eval_command(scene, out))

    def rest_obj(self, points):
        """An OBJ of the undeformed tube of `points` points (made once, not timed)."""
        file = os.path.join(self.folder, f"rest-{points}.obj")
        if not os.path.exists(file):
            scene = write_scene(self.folder, f"rest-{points}.json", [tube("Tube", points, deformed=False)])
            subprocess.run([self.kurvo, "eval", "--quiet", scene, "-o", file], check=True)
        return file


def mesh_mb(points):
    # The mesh's own size: float points (12 bytes) and quads (16 bytes).
    return (points * 12 + (points - AROUND) * 16) / 1e6


def table_files(run):
    n = 10**6
    source = os.path.basename(run.rest_obj(n))
    from_file = write_scene(run.folder, "from-file.json", [tube("Tube", n, source)])
    from_primitive = write_scene(run.folder, "from-primitive.json", [tube("Tube", n)])
    print(f"\n10^6 points (mesh {mesh_mb(n):.0f} MB)\n")
    print("| job | wall s | CPU s | peak MB | peak / mesh |\n|---|---:|---:|---:|---:|")
    for label, scene, out in [("OBJ to OBJ", from_file, "out.obj"), ("OBJ to GLB", from_file, "out.glb"),
                              ("OBJ to JSON", from_file, "out.json"),
                              ("primitive to OBJ", from_primitive, "out.obj")]:
        wall, cpu, peak = run.eval(scene, out)
        print(f"| {label} | {wall:.2f} | {cpu:.2f} | {peak:.0f} | {peak / mesh_mb(n):.1f} |")


GRID = 1000  # points along each side of the textured job's grid


def write_grid(folder, textured):
    """A GRID x GRID sheet in x-z (z from 0 to 400 along the path, x from -10
    to 10, gently waved in y), one OBJ bare and one with `vt` and `vn` per
    point and `f p/t/n`. Made once, not timed."""
    file = os.path.join(folder, f"grid-{'textured' if textured else 'bare'}.obj")
    if os.path.exists(file):
        return file
    lines = []
    for j in range(GRID):
        z = 400.0 * j / (GRID - 1)
        for i in range(GRID):
            x = -10.0 + 20.0 * i / (GRID - 1)
            lines.append(f"v {x:.6g} {0.5 * math.sin(x):.6g} {z:.6g}\n")
    if textured:
        for j in range(GRID):
            for i in range(GRID):
                lines.append(f"vt {i / (GRID - 1):.6g} {j / (GRID - 1):.6g}\n")
        for j in range(GRID):
            for i in range(GRID):
                # The wave's normal: (-dy/dx, 1, 0) made unit length.
                slope = -0.5 * math.cos(-10.0 + 20.0 * i / (GRID - 1))
                length = math.sqrt(slope * slope + 1.0)
                lines.append(f"vn {slope / length:.6g} {1.0 / length:.6g} 0\n")
    for j in range(GRID - 1):
        for i in range(GRID - 1):
            a = j * GRID + i + 1
            quad = (a, a + 1, a + 1 + GRID, a + GRID)
            lines.append("f " + " ".join(f"{k}/{k}/{k}" if textured else str(k) for k in quad) + "\n")
    with open(file, "w") as f:
        f.writelines(lines)
    return file


def grid_mesh_mb(textured):
    """The mesh's own size as kurvo holds it: float points (12 bytes), a point
    index per corner (4) and a start per face (4); with the attributes also a
    UV per corner (8) and the file's normals, one per point here (12), each
    corner naming its own (4)."""
    points, faces = GRID * GRID, (GRID - 1) ** 2
    corners = 4 * faces
    size = points * 12 + corners * 4 + (faces + 1) * 4
    if textured:
        size += corners * (8 + 4) + points * 12
    return size / 1e6


def table_textured(run):
    print(f"\n{GRID} x {GRID} grid ({GRID * GRID:,} points), with UVs and normals (f p/t/n) against bare: "
          f"mesh {grid_mesh_mb(False):.0f} MB bare, {grid_mesh_mb(True):.0f} MB with its attributes; "
          f"best and median of {run.rounds} runs\n")
    print("| job | input | wall s best | median | user CPU s best | median | CPU s median | peak MB | peak / mesh |"
          " with / without: CPU | wall |\n|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    scenes = {textured: write_scene(run.folder, f"grid-{int(textured)}.json",
                                    [tube("Tube", GRID * GRID, os.path.basename(write_grid(run.folder, textured)))])
              for textured in (False, True)}
    for label, out in [("OBJ to OBJ", "grid.obj"), ("OBJ to GLB", "grid.glb")]:
        bare = None
        for textured in (False, True):
            walls, cpus, users, peaks = run.samples(run.eval_command(scenes[textured], out))
            wall, cpu = statistics.median(walls), statistics.median(cpus)
            ratio = f"{cpu / bare[1]:.2f} | {wall / bare[0]:.2f}" if bare else "- | -"
            print(f"| {label} | {'UVs, normals' if textured else 'bare'} | {min(walls):.2f} | {wall:.2f} | "
                  f"{min(users):.2f} | {statistics.median(users):.2f} | {cpu:.2f} | {max(peaks):.0f} | "
                  f"{max(peaks) / grid_mesh_mb(textured):.1f} | {ratio} |")
            bare = bare or (wall, cpu)


def table_points(run, sizes):
    print("\n| points | OBJ to OBJ wall s | CPU s | peak MB | primitive to OBJ wall s | CPU s | peak MB |"
          " CPU s per 10^6 points (OBJ) |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in sizes:
        source = os.path.basename(run.rest_obj(n))
        wall_file, cpu_file, peak_file = run.eval(write_scene(run.folder, "p-file.json", [tube("Tube", n, source)]),
                                                  "p.obj")
        wall_prim, cpu_prim, peak_prim = run.eval(write_scene(run.folder, "p-prim.json", [tube("Tube", n)]), "p.obj")
        print(f"| {n:,} | {wall_file:.3f} | {cpu_file:.3f} | {peak_file:.0f} | {wall_prim:.3f} | {cpu_prim:.3f} | "
              f"{peak_prim:.0f} | {cpu_file / n * 1e6:.2f} |")


def table_objects(run, counts):
    print("\n| deformed objects | points | primitive to OBJ wall s | CPU s | peak MB | CPU ms per object |")
    print("|---:|---:|---:|---:|---:|---:|")
    for k in counts:
        objects = [tube(f"Tube{i}", 1000, x=20.0 * i) for i in range(k)]
        wall, cpu, peak = run.eval(write_scene(run.folder, "objects.json", objects), "o.obj")
        print(f"| {k:,} | {k * 1000:,} | {wall:.3f} | {cpu:.3f} | {peak:.0f} | {cpu / k * 1e3:.2f} |")


def blender(args, *job, rounds=1):
    """The job's output fields and the median wall seconds of `rounds` whole
    Blender processes. Blender's allocator is told to keep the pages it
    frees (MALLOC_CONF): handing them back to the system and faulting them
    in again slows it by a factor that depends on the machine, not on the
    work, so a fair peer measurement turns that off."""
    command = ["blender", "--background", "--factory-startup", "--python-exit-code", "1", "--python",
               os.path.join(ROOT, "bench", "blender_jobs.py"), "--"] + [str(j) for j in job]
    # Blender's embedded Python finds its library through the first python3 on
    # PATH: a Python installed beside the system's (pyenv and the like) would
    # hide the system's numpy from it.
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYENV")}
    env["PATH"] = ":".join(p for p in env.get("PATH", "").split(":") if ".pyenv" not in p)
    env["MALLOC_CONF"] = "dirty_decay_ms:-1,muzzy_decay_ms:-1"
    walls, fields = [], None
    for _ in range(rounds):
        start = time.perf_counter()
        done = subprocess.run(command, capture_output=True, text=True, env=env)
        walls.append(time.perf_counter() - start)
        lines = [l for l in done.stdout.splitlines() if l.startswith("blender_job ")]
        if done.returncode != 0 or not lines:
            sys.exit("Blender failed:\n" + (done.stdout + done.stderr)[-2000:])
        fields = lines[-1].split()[2:]
    return fields, statistics.median(walls)


def kurvo_deform_seconds(bench, n, scattered=False):
    """Seconds per ModifyObject run of the benchmark (the tube's points ring
    after ring, or scattered in a random order), or None without it."""
    if not bench or not os.path.exists(bench):
        return None
    pattern = f"ModifyObject/points:{n}/cubic:1/controls:8/up:0/shaped:0/scattered:{int(scattered)}$"
    out = os.path.join(tempfile.gettempdir(), f"kurvo-bench-{os.getpid()}.json")
    subprocess.run([bench, f"--benchmark_filter={pattern}", "--benchmark_min_time=0.2", f"--benchmark_out={out}",
                    "--benchmark_out_format=json"], capture_output=True, text=True, check=True)
    with open(out) as f:
        runs = json.load(f)["benchmarks"]
    os.remove(out)
    return statistics.median(r["cpu_time"] for r in runs) * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[runs[0]["time_unit"]]


def table_blender(run, args):
    print("\nDeformation alone (ms per run; kurvo: BM_ModifyObject CPU time, the points ring after ring and "
          "scattered; Blender: re-evaluating the Curve modifier on the ring-ordered tube, wall)\n")
    print("| points | kurvo ms (rings) | kurvo ms (scattered) | Blender ms | Blender / kurvo (scattered) |\n"
          "|---:|---:|---:|---:|---:|")
    for n in (10**4, 10**5, 10**6):
        (count, seconds), _ = blender(args, "deform", n, 5)
        rings = kurvo_deform_seconds(args.bench, n)
        scattered = kurvo_deform_seconds(args.bench, n, scattered=True)
        cell = lambda v: f"{v * 1e3:.2f}" if v else "-"
        ratio = f"{float(seconds) / scattered:.1f}" if scattered else "-"
        print(f"| {int(count):,} | {cell(rings)} | {cell(scattered)} | {float(seconds) * 1e3:.2f} | {ratio} |")

    # File to file: whole processes on both sides, each the median wall time
    # of --rounds runs, on the ring-ordered tube and on a mesh in a modelling
    # tool's own order (Blender's subdivided icosphere, made once, not timed).
    n = 10**6
    spindle = os.path.join(run.folder, "spindle.obj")
    (points,), _ = blender(args, "spindle", spindle, args.spindle_level)
    print("\nOBJ file to OBJ file (seconds; wall: the whole program, median of "
          f"{run.rounds}; in-process: Blender's own timers)\n")
    print("| mesh | points | Blender read | bend | write | in-process total | Blender wall | kurvo wall | kurvo CPU |"
          " Blender / kurvo (wall) |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for label, source in [("tube, rings", run.rest_obj(n)), ("icosphere, subdivided", spindle)]:
        scene = write_scene(run.folder, "side.json", [tube("Tube", n, os.path.basename(source))])
        wall, cpu, _ = run.eval(scene, "side.obj")
        (count, read, bend_s, write, total), blender_wall = blender(
            args, "file", source, os.path.join(run.folder, "blender.obj"), rounds=run.rounds)
        print(f"| {label} | {int(count):,} | {float(read):.2f} | {float(bend_s):.2f} | {float(write):.2f} | "
              f"{float(total):.2f} | {blender_wall:.2f} | {wall:.2f} | {cpu:.2f} | {blender_wall / wall:.1f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--tables", default="files,textured,points,objects")
    parser.add_argument("--sizes", default="10000,100000,1000000,10000000")
    parser.add_argument("--objects", default="1,10,100,1000")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--blender", action="store_true", help="also the side-by-side table with Blender")
    parser.add_argument("--install-blender", action="store_true", help="install Blender when missing (not in CI)")
    parser.add_argument("--spindle-level", type=int, default=9,
                        help="subdivisions of the icosphere of the real-order mesh (9: 655,362 points)")
    parser.add_argument("--bench", default=os.path.join(ROOT, "build-perf", "bin", "kurvo_bench"))
    args = parser.parse_args()
    if args.install_blender:
        subprocess.run([os.path.join(ROOT, "scripts", "install-deps.sh"), "blender", "python3-numpy"], check=True)
    kurvo = os.path.join(args.build, "bin", "kurvo")
    with open("/proc/loadavg") as f:
        print(f"load average before: {' '.join(f.read().split()[:3])}")
    with tempfile.TemporaryDirectory() as folder:
        run = Runner(kurvo, args.rounds, folder)
        tables = args.tables.split(",")
        if "files" in tables:
            table_files(run)
        if "textured" in tables:
            table_textured(run)
        if "points" in tables:
            table_points(run, [int(s) for s in args.sizes.split(",")])
        if "objects" in tables:
            table_objects(run, [int(s) for s in args.objects.split(",")])
        if args.blender:
            table_blender(run, args)
    with open("/proc/loadavg") as f:
        print(f"\nload average after: {' '.join(f.read().split()[:3])}")


if __name__ == "__main__":
    main()
