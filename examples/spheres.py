#!/usr/bin/env python3
"""A scene made in code: a lattice of a few thousand spheres, rippled and coloured by position,
over a mirror floor, rendered in memory with liborvel and saved as a PNG file.

    python3 examples/spheres.py [--side 14] [--size 640 480] [--output spheres.png]
"""

import argparse
import math
import sys

import orvel


def lattice_scene(side, width, height):
    """Scene text: camera, settings, lights, a floor and side^3 spheres."""
    lines = [
        "camera { position <-14 -30 22> look_at <0 0 5> }",
        'settings { resolution %d %d output_type "png" output_name "spheres" background 0.05 0.05 0.1 }'
        % (width, height),
        'light { position <-20 -25 40> color 1 1 1 attenuation_type "none" }',
        'light { position <25 -10 15> color 0.35 0.35 0.45 attenuation_type "none" }',
        "surface { color 0.45 0.45 0.5 ambient 0.15 diffuse 0.6 reflection 0.3 }",
        "plane { normal <0 0 1> distance 0 }",
    ]
    spacing = 12.0 / side
    for i in range(side):
        for j in range(side):
            for k in range(side):
                u, v, w = i / (side - 1), j / (side - 1), k / (side - 1)
                x = (i - (side - 1) / 2) * spacing
                y = (j - (side - 1) / 2) * spacing
                z = 1 + k * spacing + 0.6 * math.sin(2 * math.pi * (u + v))
                lines.append("surface { color %.3f %.3f %.3f ambient 0.2 diffuse 0.7 specular 0.5 roughness 40 }"
                             % (0.2 + 0.7 * u, 0.2 + 0.7 * w, 0.9 - 0.6 * v))
                lines.append("sphere { center <%.4f %.4f %.4f> radius %.4f }" % (x, y, z, 0.3 * spacing))
    return "\n".join(lines) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--side", type=int, default=14, help="spheres along each edge (side^3 in all)")
    parser.add_argument("--size", type=int, nargs=2, default=(640, 480), metavar=("WIDTH", "HEIGHT"))
    parser.add_argument("--threads", type=int, default=2, choices=(1, 2, 4, 8))
    parser.add_argument("--output", default="spheres.png")
    args = parser.parse_args(argv)

    scene = lattice_scene(args.side, *args.size)

    def progress(done, total):
        if done % 24 == 0 or done == total:
            print("\r%3d%%" % (100 * done // total), end="", file=sys.stderr, flush=True)

    picture = orvel.render(scene, threads=args.threads, progress=progress)
    print(file=sys.stderr)
    stats = picture.statistics
    print("%d spheres, %d rays, %.2f s; mean colour %s" % (
        stats["spheres"], stats["rays"], stats["seconds"], picture.array.reshape(-1, 3).mean(axis=0).round(1)))
    picture.save(args.output)
    print("saved", args.output)


if __name__ == "__main__":
    main(sys.argv[1:])
