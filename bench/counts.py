#!/usr/bin/env python3
"""Counts instructions (and simulated cache misses) of orvel builds side by side, under valgrind.

Timings on a shared machine are noise; instruction counts are not. For each build given with
--build LABEL=DIR it reports:

- queries: each benchmark of DIR/bench/orvel_bench (`make bench`) run for one iteration, which
  asks every query of its workload once; the instructions of that pass (callgrind, collecting
  only inside the pass) divided by the number of queries, and with --cache the first-level and
  last-level data cache misses per query of callgrind's simulated caches;
- renders: the whole-process instructions of DIR/orvel rendering each benchmark scene (cachegrind
  without cache simulation), and the user time of that run under valgrind.

Valgrind hides AVX-512 from the program, so the counts are those of the AVX2 walks (four rays a
packet); the native runs of `make bench` take eight where the processor has AVX-512.

    python3 bench/counts.py --build main=build-main/bench --build packets=build-bench
    python3 bench/counts.py --build packets=build-bench --no-renders --filter spheres --cache
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

import scenes

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, ".."))
BENCHMARKS = ["cameraRays/spheres10k", "shadowRays/spheres10k", "cameraRays/heightField100k",
              "shadowRays/heightField100k", "cameraRays/cylinders2k", "shadowRays/cylinders2k"]
RENDER_SCENES = ["spheres", "mesh_flat", "mesh_smooth", "cylinders", "glass", "scan"]
PASS_FUNCTION = {"cameraRays": "*askCameraRays*", "shadowRays": "*askShadowRays*"}


def collected(stderr, event="Collected"):
    """The event totals valgrind prints at the end, by name."""
    found = re.search(r"%s\s*:\s*([\d ]+)" % event, stderr)
    return [int(v) for v in found.group(1).split()] if found else None


def count_queries(bench, name, cache):
    """Instructions (and D1, LL read+write misses) per query of one benchmark's pass."""
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "callgrind.out")
        cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
               "--toggle-collect=" + PASS_FUNCTION[name.split("/")[0]]]
        if cache:
            cmd.append("--cache-sim=yes")
        cmd += [bench, "--benchmark_filter=^%s$" % name, "--benchmark_min_time=0"]
        done = subprocess.run(cmd, capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit("%s failed:\n%s" % (" ".join(cmd), done.stderr[-2000:]))
        queries = re.search(r"queries=([\d.]+)([kM]?)", done.stdout)
        if not queries:
            sys.exit("no query count in the output of %s" % " ".join(cmd))
        n = float(queries.group(1)) * {"": 1, "k": 1e3, "M": 1e6}[queries.group(2)]
        with open(out) as f:
            text = f.read()
        events = re.search(r"^events:\s*(.*)$", text, re.M).group(1).split()
        totals = [int(v) for v in re.search(r"^totals:\s*(.*)$", text, re.M).group(1).split()]
        by_event = dict(zip(events, totals))
        result = {"queries": n, "Ir": by_event["Ir"] / n}
        if cache:
            result["D1"] = (by_event.get("D1mr", 0) + by_event.get("D1mw", 0)) / n
            result["LL"] = (by_event.get("DLmr", 0) + by_event.get("DLmw", 0)) / n
        return result


def count_render(orvel, scene, size):
    """Whole-process instructions of one render, and its user seconds under valgrind."""
    with tempfile.TemporaryDirectory() as work:
        cmd = ["valgrind", "--tool=cachegrind", "--cache-sim=no", "--cachegrind-out-file=/dev/null",
               orvel, "-i", scene, "-o", os.path.join(work, "picture"), "-ppm", "-r", str(size[0]),
               str(size[1])]
        done = subprocess.run(["/usr/bin/time", "-f", "user %U"] + cmd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True, errors="replace")
        if done.returncode != 0:
            sys.exit("%s failed:\n%s" % (" ".join(cmd), done.stderr[-2000:]))
        refs = re.search(r"I\s+refs:\s+([\d,]+)", done.stderr)
        user = re.search(r"^user ([\d.]+)", done.stderr, re.M)
        return int(refs.group(1).replace(",", "")), float(user.group(1))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", action="append", required=True, metavar="LABEL=DIR",
                    help="a build tree with bench/orvel_bench and orvel (repeat for each build)")
    ap.add_argument("--filter", default="", help="only the benchmarks and scenes whose name holds this")
    ap.add_argument("--cache", action="store_true", help="simulate the caches for the queries (slower)")
    ap.add_argument("--no-queries", action="store_true")
    ap.add_argument("--no-renders", action="store_true")
    ap.add_argument("--scene-dir", default=os.path.join(TOP, "build-compare", "scenes"))
    ap.add_argument("--size", default="640x480")
    args = ap.parse_args(argv)
    builds = []
    for item in args.build:
        label, _, path = item.partition("=")
        builds.append((label, os.path.abspath(path)))

    if not args.no_queries:
        print("%-28s %-10s %9s %10s" % ("benchmark", "build", "queries", "Ir/query")
              + ("%9s %9s" % ("D1 miss", "LL miss") if args.cache else ""))
        for name in BENCHMARKS:
            if args.filter not in name:
                continue
            for label, path in builds:
                r = count_queries(os.path.join(path, "bench", "orvel_bench"), name, args.cache)
                line = "%-28s %-10s %9d %10.0f" % (name, label, r["queries"], r["Ir"])
                if args.cache:
                    line += "%9.2f %9.2f" % (r["D1"], r["LL"])
                print(line, flush=True)

    if not args.no_renders:
        size = scenes.parse_size(args.size)
        print("\n%-14s %-10s %16s %10s" % ("scene " + args.size, "build", "instructions", "user s"))
        for name in RENDER_SCENES:
            if args.filter not in name:
                continue
            scene = scenes.ensure_scene(args.scene_dir, name, *size)["orv"]
            for label, path in builds:
                refs, user = count_render(os.path.join(path, "orvel"), scene, size)
                print("%-14s %-10s %16s %10.2f" % (name, label, format(refs, ","), user), flush=True)


if __name__ == "__main__":
    main()
