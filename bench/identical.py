#!/usr/bin/env python3
"""Checks that orvel still renders every benchmark and gallery scene to the very same bytes.

The SHA-256 of each picture is kept in bench/reference_images.sha256, written by --update from
a build known to be right. Speed work must leave every hash unchanged. Scenes without
randomness are also rendered by orvel-mt with 2 and 8 bands and by orvel-mpi on two ranks
(through mpirun, where it is built), which must give the same bytes as the single-threaded
program. Scenes with jitter, lens samples, smooth shadows or fuzzy reflection draw from one
shared generator and depend on thread scheduling; they are rendered with --seed 7 as well, whose
picture has a recorded hash of its own and which orvel-mt and orvel-mpi must match.

    python3 bench/identical.py [--orvel-dir build] [--update]
"""

import argparse
import hashlib
import os
import subprocess
import sys
import tempfile

import scenes

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, ".."))
REFERENCE = os.path.join(HERE, "reference_images.sha256")

# (label, scene file, working directory, extra options, renders alike with threads)
BENCH_SIZE = (640, 480)
BENCH_SCENES = ["spheres", "mesh_flat", "mesh_smooth", "cylinders", "glass", "quality"]
GALLERY = {  # gallery scene -> uses randomness
    "showcase": True, "primitives": False, "lights": True, "materials": True,
    "depth_of_field": True, "fisheye": False, "antialiasing": True, "haze": True,
    "include_declare": False, "knot": False,
}


def cases(scene_dir):
    for name in BENCH_SCENES:
        path = scenes.ensure_scene(scene_dir, name, *BENCH_SIZE)["orv"]
        size = ["-r", "320", "240"] if name == "quality" else ["-r", str(BENCH_SIZE[0]), str(BENCH_SIZE[1])]
        yield "bench/" + name, path, TOP, size, name != "quality"
    gallery = os.path.join(TOP, "scenes")
    for name, random in GALLERY.items():
        yield "scenes/" + name, name + ".orv", gallery, ["-r", "320", "240"], not random


def cluster_command(orvel_dir):
    """mpirun starting orvel-mpi on two ranks, or None where orvel-mpi is not built."""
    program = os.path.abspath(os.path.join(orvel_dir, "orvel-mpi"))
    if not os.path.exists(program):
        return None
    root = ["--allow-run-as-root"] if os.geteuid() == 0 else []
    return ["mpirun", "--oversubscribe"] + root + ["-np", "2", program]


def render(program, scene, cwd, options, out_dir):
    out = os.path.join(out_dir, "picture")
    cmd = program + ["-i", scene, "-o", out, "-ppm"] + options
    done = subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(cmd), done.returncode, done.stderr.decode()))
    with open(out + ".ppm", "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--orvel-dir", default=os.path.join(TOP, "build"))
    ap.add_argument("--scene-dir", default=os.path.join(TOP, "build-compare", "scenes"))
    ap.add_argument("--update", action="store_true", help="record the current pictures as the reference")
    args = ap.parse_args()
    orvel = [os.path.abspath(os.path.join(args.orvel_dir, "orvel"))]
    orvel_mt = [os.path.abspath(os.path.join(args.orvel_dir, "orvel-mt"))]
    cluster = cluster_command(args.orvel_dir)
    if not cluster:
        print("orvel-mpi is not built: its pictures are not checked")

    reference = {}
    if not args.update:
        with open(REFERENCE) as f:
            pairs = (line.rstrip("\n").split("  ", 1) for line in f if line.strip())
            reference = {label: digest for digest, label in pairs}

    found, failures = {}, 0
    with tempfile.TemporaryDirectory() as out_dir:
        for label, scene, cwd, options, threads_alike in cases(args.scene_dir):
            digest = render(orvel, scene, cwd, options, out_dir)
            found[label] = digest
            verdicts = []
            if not args.update and reference.get(label) != digest:
                verdicts.append("differs from the reference")
            # Bands and ranks must match one thread: as they are, or with a seed when the scene is
            # random (the seeded picture has its own reference).
            seed = [] if threads_alike else ["--seed", "7"]
            alike = digest
            if seed:
                seeded = label + " " + " ".join(seed)
                alike = found[seeded] = render(orvel, scene, cwd, options + seed, out_dir)
                if not args.update and reference.get(seeded) != alike:
                    verdicts.append("%s differs from the reference" % " ".join(seed))
            others = [(orvel_mt, ["-t", n], "orvel-mt") for n in ("2", "8")]
            if cluster:
                others.append((cluster, [], "orvel-mpi -np 2"))
            for program, extra, name in others:
                if render(program, scene, cwd, options + seed + extra, out_dir) != alike:
                    verdicts.append("%s %s differs" % (name, " ".join(seed + extra)))
            failures += bool(verdicts)
            print("%-22s %s" % (label, "; ".join(verdicts) or "same"))

    if args.update:
        with open(REFERENCE, "w") as f:
            f.writelines("%s  %s\n" % (digest, label) for label, digest in found.items())
        print("reference written to", os.path.relpath(REFERENCE, TOP))
    elif failures:
        sys.exit("%d scene(s) changed" % failures)


if __name__ == "__main__":
    main()
