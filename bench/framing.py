#!/usr/bin/env python3
"""Framing check: do orvel, POV-Ray and Tachyon see the same picture of each benchmark scene?

Each scene's flat variant (same camera and geometry, every object class an unlit pure colour,
black background, no lights) is rendered by each renderer at a small size. Per pixel the
colour gives the object class (black is background). For each peer the check prints the
fraction of pixels whose background/object mask differs from orvel's, and the fraction whose
class differs. A few tenths of a percent come from edge pixels where two renderers' tests
round differently; a framing fault (a swapped axis, a wrong field of view, a half-pixel shift)
shows as several percent.

It also renders the real (shaded) scenes and prints the mean absolute difference per colour
channel on the 0-255 scale, a rough measure of how far the materials agree. Side-by-side PNGs
(orvel | POV-Ray | Tachyon) go to the output directory for a look.

Usage:  python3 bench/framing.py [--size 160x120] [--scenes a,b] [--orvel-dir build]
"""

import argparse
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # keep bench/ free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import renderers  # noqa: E402
import scenes  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, ".."))


def classes(pixels):
    """Class index per pixel: bit 2 red, bit 1 green, bit 0 blue, each lit when >= 128."""
    r, g, b = pixels[0::3], pixels[1::3], pixels[2::3]
    return [(x >= 128) * 4 + (y >= 128) * 2 + (z >= 128) for x, y, z in zip(r, g, b)]


def mismatch(ref, other):
    """(background-mask mismatch, class mismatch) as fractions of all pixels."""
    n = len(ref)
    mask = sum((a == 0) != (b == 0) for a, b in zip(ref, other))
    cls = sum(a != b for a, b in zip(ref, other))
    return mask / n, cls / n


def mean_abs_diff(p, q):
    return sum(abs(a - b) for a, b in zip(p, q)) / len(p)


def render_all(family_renderers, paths, width, height, work, tag):
    """Render one scene with the first renderer of each family; {family: (w, h, pixels)}."""
    images = {}
    for family, r in family_renderers.items():
        if r.ext not in paths:
            continue
        out = os.path.join(work, "%s_%s" % (tag, family))
        res = renderers.run_measured(r.command(paths[r.ext], out, width, height),
                                     out + ".log", timeout=900)
        if not res.ok or not os.path.exists(r.output(out)):
            print("  %s failed on %s (status %s), see %s" % (r.label, tag, res.status, res.log))
            continue
        images[family] = renderers.read_ppm(r.output(out))
    return images


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--size", default="160x120")
    ap.add_argument("--scenes", default=",".join(n for n in scenes.DEFAULT_SCENES
                                                 if not scenes.build_is_orvel_only(n)))
    ap.add_argument("--orvel-dir", default=os.path.join(ROOT, "build"))
    ap.add_argument("--out", default=os.path.join(ROOT, "build-compare", "framing"))
    ap.add_argument("--scene-dir", default=os.path.join(ROOT, "build-compare", "scenes"))
    ap.add_argument("--no-shaded", action="store_true", help="skip the shaded comparison")
    args = ap.parse_args(argv)
    width, height = scenes.parse_size(args.size)
    os.makedirs(args.out, exist_ok=True)

    family_renderers = {}
    for r in (renderers.orvel_renderers(args.orvel_dir, ()) + renderers.povray_renderers((1,))
              + renderers.tachyon_renderers((1,))):
        family_renderers.setdefault(r.family, r)
    if len(family_renderers) < 2:
        sys.exit("framing: need at least two renderers, found: %s" % ", ".join(family_renderers))
    ref_family = "orvel" if "orvel" in family_renderers else "povray"
    if ref_family != "orvel":
        print("orvel is not built in %s: comparing Tachyon with POV-Ray instead" % args.orvel_dir)
    order = [f for f in ("orvel", "povray", "tachyon") if f in family_renderers]

    print("Framing check at %dx%d, reference %s" % (width, height, ref_family))
    print("%-12s %-9s %14s %15s %16s" % ("scene", "peer", "mask mismatch", "class mismatch",
                                          "shaded mean|d|"))
    with tempfile.TemporaryDirectory(prefix="orvel-framing-") as work:
        for name in args.scenes.split(","):
            flat_paths = scenes.ensure_scene(args.scene_dir, name, width, height, flat=True)
            flat = render_all(family_renderers, flat_paths, width, height, work, name + "_flat")
            shaded = {}
            if not args.no_shaded:
                paths = scenes.ensure_scene(args.scene_dir, name, width, height)
                shaded = render_all(family_renderers, paths, width, height, work, name)
            for kind, images in (("flat", flat), ("shaded", shaded)):
                present = [images[f] for f in order if f in images]
                if present:
                    renderers.write_png(os.path.join(args.out, "%s_%s.png" % (name, kind)),
                                        *renderers.montage(present))
            if ref_family not in flat:
                print("%-12s (no reference render)" % name)
                continue
            ref = classes(flat[ref_family][2])
            for family in order:
                if family == ref_family or family not in flat:
                    continue
                m, c = mismatch(ref, classes(flat[family][2]))
                d = ("%16.1f" % mean_abs_diff(shaded[ref_family][2], shaded[family][2])
                     if ref_family in shaded and family in shaded else "%16s" % "-")
                print("%-12s %-9s %13.2f%% %14.2f%% %s" % (name, family, 100 * m, 100 * c, d))
    print("Side-by-side pictures (%s): %s" % (" | ".join(order), args.out))


if __name__ == "__main__":
    main()
