#!/usr/bin/env python3
"""Time orvel against POV-Ray 3.7 and Tachyon on the same scenes.

Each scene is rendered by orvel, orvel-mt -t 2, orvel-mt -t 8, orvel-mpi on 2 ranks (the whole
`mpirun --mca pml ob1 -np 2 orvel-mpi` job, when it is built and Open MPI is installed) and,
when they are installed, POV-Ray (+WT1, +WT2) and Tachyon (-numthreads 1, 2), several times. The runs are interleaved:
run 1 of every renderer, then run 2 of every renderer, and so on (each round starting one
renderer further on), so that a slow spell of the machine hits all renderers alike.

The table gives, per scene, size and renderer, the medians over the runs of the wall time, the
CPU time (user + system) and the peak resident memory, and for orvel the ratio of its wall
time to each peer's: the median over the runs of the per-run ratios, so each ratio compares
renders made side by side in the same round. An orvel configuration is compared with the peer
configuration of the same thread count (orvel-mpi: its rank count); orvel-mt -t 8 with the
peers' two-thread runs (the largest they are given).

Usage:  python3 bench/compare.py [--scenes a,b] [--sizes 640x480,1280x960] [--runs 3] [--quick]
        python3 bench/compare.py --bigmesh      (orvel reads and builds 1,000,000 triangles, typed
                                                 and from binary PLY, STL, .glb and OBJ files)
"""

import argparse
import os
import statistics
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep bench/ free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import renderers  # noqa: E402
import scenes  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, ".."))

BIGMESH_SECONDS = 2.0
BIGMESH_BYTES = 1 << 30


def median(values):
    return statistics.median(values) if values else None


def fmt(value, pattern, width):
    return (pattern % value).rjust(width) if value is not None else "-".rjust(width)


def peer_for(orvel_renderer, peers):
    """The peer configuration an orvel configuration is compared with: same thread count, or
    the peer's largest when orvel uses more."""
    same = [p for p in peers if p.threads == orvel_renderer.threads]
    if same:
        return same[0]
    below = [p for p in peers if p.threads < orvel_renderer.threads]
    return max(below, key=lambda p: p.threads) if below else None


def select(all_renderers, wanted):
    if not wanted:
        return all_renderers
    keys = [w.strip() for w in wanted.split(",")]
    chosen = [r for r in all_renderers if any(r.label == k or r.family == k for k in keys)]
    if not chosen:
        sys.exit("no renderer matches --renderers %s; available: %s"
                 % (wanted, ", ".join(r.label for r in all_renderers)))
    return chosen


def bench_case(name, width, height, rlist, args, work, rows):
    """Render one scene at one size with every renderer, args.runs rounds; append table rows."""
    scene_orvel_only = scenes.build_is_orvel_only(name)
    active = [r for r in rlist if r.family == "orvel" or not scene_orvel_only]
    paths = scenes.ensure_scene(args.scene_dir, name, width, height)
    extra = {"orvel": args.orvel_args.split() if args.orvel_args else []}
    results = {r.label: [] for r in active}
    for run in range(args.runs):
        shift = run % len(active)
        for r in active[shift:] + active[:shift]:
            out = os.path.join(work, "%s_%dx%d_%s_%d" % (name, width, height,
                                                          r.label.replace(" ", ""), run))
            cmd = r.command(paths[r.ext], out, width, height, extra.get(r.family, ()))
            res = renderers.run_measured(cmd, out + ".log", timeout=args.timeout)
            if res.ok and not os.path.exists(r.output(out)):
                res.status = "no image"
            if res.ok and not args.keep:
                os.remove(r.output(out))
            results[r.label].append(res)
            if args.verbose:
                print("  %-12s %4dx%-4d %-22s run %d: %s %.3f s" % (
                    name, width, height, r.label, run + 1,
                    "ok" if res.ok else "FAILED (%s)" % res.status, res.wall), flush=True)
    peers = [r for r in active if r.family != "orvel"]
    for r in active:
        runs = results[r.label]
        good = [x for x in runs if x.ok]
        failed = [x for x in runs if not x.ok]
        row = {"scene": name, "size": "%dx%d" % (width, height), "renderer": r.label,
               "wall": median([x.wall for x in good]), "cpu": median([x.cpu for x in good]),
               "rss": median([x.maxrss_kib / 1024.0 for x in good]),
               "failed": failed, "ratios": {}}
        if r.family == "orvel":
            for family in ("povray", "tachyon"):
                peer = peer_for(r, [p for p in peers if p.family == family])
                if peer is None:
                    continue
                pairs = [a.wall / b.wall for a, b in zip(runs, results[peer.label])
                         if a.ok and b.ok and b.wall > 0]
                row["ratios"][family] = (median(pairs), peer.threads)
        rows.append(row)


def print_table(rows, runs, out=sys.stdout):
    head = "%-12s %-9s %-21s %9s %9s %10s %14s %14s" % (
        "scene", "size", "renderer", "wall s", "cpu s", "maxRSS MiB", "orvel/povray",
        "orvel/tachyon")
    print("\nMedians of %d run(s); ratios = orvel wall / peer wall, per-run median "
          "(peer thread count in brackets)" % runs, file=out)
    print(head, file=out)
    print("-" * len(head), file=out)
    last = None
    for row in rows:
        key = (row["scene"], row["size"])
        scene, size = (row["scene"], row["size"]) if key != last else ("", "")
        if key != last and last is not None:
            print(file=out)
        last = key
        ratios = []
        for family in ("povray", "tachyon"):
            value = row["ratios"].get(family)
            if value is None or value[0] is None:
                ratios.append("".rjust(14))
            else:
                ratios.append(("%.2f (%dT)" % value).rjust(14))
        line = "%-12s %-9s %-21s %s %s %s %s %s" % (
            scene, size, row["renderer"], fmt(row["wall"], "%.3f", 9), fmt(row["cpu"], "%.3f", 9),
            fmt(row["rss"], "%.1f", 10), ratios[0], ratios[1])
        if row["failed"]:
            x = row["failed"][0]
            line += "  FAILED %d/%d (status %s, see %s)" % (
                len(row["failed"]), runs, "timeout" if x.timed_out else x.status, x.log)
        print(line.rstrip(), file=out)


# The model files of bigmesh and the part of the text scene's time each should take at most.
BIGMESH_MODELS = [("ply", 1 / 3), ("stl", 1 / 3), ("glb", 1 / 3), ("obj", 1.0)]


def bigmesh_check(args, orvel):
    """orvel must read and build the 1,000,000-triangle scene in under 2 s and 1 GiB: render
    it at a tiny size, where the run is all reading and building. The same triangles are read
    from model files too (binary PLY, binary STL, .glb, OBJ), side by side with the text in each
    round: their time as a part of the text's is printed against its target (a third for the
    binary files, all of it for OBJ), and their peak memory may not exceed the text's."""
    names = ["bigmesh"] + ["bigmesh_" + fmt for fmt, _ in BIGMESH_MODELS]
    paths = {n: scenes.ensure_scene(args.scene_dir, n, 320, 240)["orv"] for n in names}
    print("bigmesh: %s (%d triangles) and its model files" % (
        paths["bigmesh"], scenes.build("bigmesh").primitive_count()))
    verdict = True
    extra = args.orvel_args.split() if args.orvel_args else []
    with tempfile.TemporaryDirectory(prefix="orvel-bigmesh-") as work:
        for r in orvel:
            results = {n: [] for n in names}
            for run in range(args.runs):
                for n in names[run % len(names):] + names[:run % len(names)]:
                    out = os.path.join(work, "%s_%s_%d" % (n, r.label.replace(" ", ""), run))
                    res = renderers.run_measured(r.command(paths[n], out, 8, 6, extra), out + ".log",
                                                 timeout=args.timeout)
                    if not res.ok:
                        with open(res.log, errors="replace") as f:
                            tail = f.read()[-400:]
                        print("  %-21s %-12s FAILED (status %s)\n%s" % (r.label, n, res.status, tail))
                        verdict = False
                    results[n].append(res)
            if not all(res.ok for runs in results.values() for res in runs):
                continue
            text = results["bigmesh"]
            w, m = median([x.wall for x in text]), max(x.maxrss_kib for x in text)
            faults = ([] if w < BIGMESH_SECONDS else ["too slow"]) + (
                [] if m * 1024 < BIGMESH_BYTES else ["too big"])
            verdict &= not faults
            print("  %-21s %-12s wall %.3f s (median of %d), peak RSS %.1f MiB: %s" % (
                r.label, "text", w, len(text), m / 1024, " and ".join(faults) or "ok"))
            for fmt, target in BIGMESH_MODELS:
                runs = results["bigmesh_" + fmt]
                ratio = median([a.wall / b.wall for a, b in zip(runs, text)])
                rss = max(x.maxrss_kib for x in runs)
                verdict &= rss <= m
                print("  %-21s %-12s wall %.3f s, %.2f of the text's (target %.2f: %s), "
                      "peak RSS %.1f MiB (%s)" % (
                          r.label, "." + fmt, median([x.wall for x in runs]), ratio, target,
                          "met" if ratio <= target else "missed", rss / 1024,
                          "no more than the text's" if rss <= m else "MORE than the text's"))
    print("bigmesh check: %s (limits %.1f s, %d MiB; model files no more memory than the text)" % (
        "passed" if verdict else "FAILED", BIGMESH_SECONDS, BIGMESH_BYTES >> 20))
    return 0 if verdict else 1


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--scenes", default=",".join(scenes.DEFAULT_SCENES),
                    help="comma-separated workloads (default: all: %(default)s)")
    ap.add_argument("--sizes", default=None,
                    help="comma-separated WxH (default: 640x480,1280x960)")
    ap.add_argument("--runs", type=int, default=None, help="runs per renderer (default: 3)")
    ap.add_argument("--quick", action="store_true",
                    help="smoke test: 160x120 and one run, unless --sizes or --runs say more")
    ap.add_argument("--renderers", default="",
                    help="comma-separated labels or families to run, e.g. orvel,povray")
    ap.add_argument("--orvel-dir", default=os.path.join(ROOT, "build"),
                    help="directory holding orvel and orvel-mt (default: build/)")
    ap.add_argument("--baseline-dir", default=None,
                    help="another build of orvel and orvel-mt, timed beside the first in the same "
                         "run and labelled 'base'")
    ap.add_argument("--orvel-threads", default="2,8",
                    help="thread counts for orvel-mt (default: 2,8)")
    ap.add_argument("--mpi-ranks", default="2",
                    help="rank counts for orvel-mpi under mpirun (default: 2; empty: none)")
    ap.add_argument("--mpirun-args", default=renderers.MPIRUN_ARGS,
                    help="mpirun options for orvel-mpi (default: '%(default)s')")
    ap.add_argument("--peer-threads", default="1,2",
                    help="thread counts for POV-Ray and Tachyon (default: 1,2)")
    ap.add_argument("--orvel-args", default="",
                    help="extra orvel options, e.g. '-pqs 1024'")
    ap.add_argument("--scene-dir", default=os.path.join(ROOT, "build-compare", "scenes"))
    ap.add_argument("--timeout", type=float, default=1800.0, help="seconds per render")
    ap.add_argument("--keep", action="store_true", help="keep the images (in --work-dir)")
    ap.add_argument("--work-dir", default=None,
                    help="where images and logs go (default: a temporary directory)")
    ap.add_argument("--csv", default=None, help="also write the table as CSV to this file")
    ap.add_argument("--no-baseline", action="store_true",
                    help="skip the 'tiny' 8x6 scene that shows each renderer's fixed cost")
    ap.add_argument("--bigmesh", action="store_true",
                    help="only the read-and-build check on 1,000,000 triangles")
    ap.add_argument("-v", "--verbose", action="store_true", help="print every run")
    args = ap.parse_args(argv)
    if args.sizes is None:
        args.sizes = "160x120" if args.quick else "640x480,1280x960"
    if args.runs is None:
        args.runs = 1 if args.quick else 3
    if args.runs < 1:
        sys.exit("--runs must be at least 1")

    orvel = renderers.orvel_renderers(
        args.orvel_dir, [int(n) for n in args.orvel_threads.split(",") if n])
    orvel += renderers.orvel_mpi_renderers(
        args.orvel_dir, [int(n) for n in args.mpi_ranks.split(",") if n], args.mpirun_args)
    if args.baseline_dir:
        orvel += renderers.orvel_renderers(
            args.baseline_dir, [int(n) for n in args.orvel_threads.split(",") if n], tag="base ")
    peer_threads = [int(n) for n in args.peer_threads.split(",") if n]
    peers = renderers.povray_renderers(peer_threads) + renderers.tachyon_renderers(peer_threads)
    if not orvel:
        print("note: orvel is not built in %s (run `make build`); timing the peers only"
              % args.orvel_dir)
    if args.bigmesh:
        if not orvel:
            sys.exit("bigmesh: orvel is not built")
        return bigmesh_check(args, select(orvel, args.renderers))
    rlist = select(orvel + peers, args.renderers)
    names = args.scenes.split(",")
    for name in names:
        if name not in scenes.WORKLOADS and name != "tiny":
            sys.exit("unknown scene %r (known: %s)" % (name, ", ".join(scenes.WORKLOADS)))
    sizes = [scenes.parse_size(s) for s in args.sizes.split(",")]
    if not args.no_baseline:
        names = ["tiny"] + names
    print("renderers: %s" % ", ".join(r.label for r in rlist))
    print("scenes: %s; sizes: %s; runs: %d" % (", ".join(names), args.sizes, args.runs))

    rows = []
    started = time.time()
    work_ctx = None
    if args.work_dir:
        os.makedirs(args.work_dir, exist_ok=True)
        work = args.work_dir
    elif args.keep:
        work = tempfile.mkdtemp(prefix="orvel-compare-")
        print("images and logs kept in %s" % work)
    else:
        work_ctx = tempfile.TemporaryDirectory(prefix="orvel-compare-")
        work = work_ctx.name
    try:
        for name in names:
            for width, height in ([(8, 6)] if name == "tiny" else sizes):
                print("%s %dx%d ..." % (name, width, height), flush=True)
                bench_case(name, width, height, rlist, args, work, rows)
        print_table(rows, args.runs)
        if args.csv:
            with open(args.csv, "w") as f:
                f.write("scene,size,renderer,wall_s,cpu_s,maxrss_mib,orvel_over_povray,"
                        "orvel_over_tachyon,failed_runs\n")
                for row in rows:
                    ratio = [row["ratios"].get(f, (None,))[0] for f in ("povray", "tachyon")]
                    f.write("%s,%s,%s,%s,%s,%s,%s,%s,%d\n" % (
                        row["scene"], row["size"], row["renderer"],
                        *["" if v is None else "%.4f" % v
                          for v in (row["wall"], row["cpu"], row["rss"], *ratio)],
                        len(row["failed"])))
        print("\ntotal %.0f s" % (time.time() - started))
    finally:
        if work_ctx is not None:
            work_ctx.cleanup()
    return 1 if any(row["failed"] for row in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
