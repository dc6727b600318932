#!/usr/bin/env python3
"""Benchmark scenes written three times: for orvel (.orv), POV-Ray 3.7 (.pov) and Tachyon (.dat).

Each workload is built once as a renderer-neutral description (camera, lights, materials,
shapes) and then written by three writers that map the camera exactly and the materials as
closely as each renderer allows. Every workload is deterministic: the random parts use fixed
seeds, so the same command always writes the same bytes.

The "flat" variant of a scene keeps the camera and geometry but replaces every material by an
unlit colour that names its object class (ground, spheres, mirror...), with a black background
and no lights. Renders of flat variants are compared pixel by pixel by framing.py.

Usage:  python3 bench/scenes.py [--out DIR] [--scenes a,b] [--sizes 640x480,...] [--flat]
        python3 bench/scenes.py --bigmesh [--triangles N] [--out DIR]
"""

import argparse
import math
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import modelfiles  # noqa: E402

# ---------------------------------------------------------------------------------------------
# Small vector helpers (tuples of three floats)


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def scale(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def unit(a):
    n = math.sqrt(dot(a, a))
    return (a[0] / n, a[1] / n, a[2] / n)


def num(x):
    """One number as all three writers print it: short, exact enough, never '-0'."""
    s = "%.6g" % x
    return "0" if s in ("-0", "0") else s


def orv_vec(v):
    return "<%s %s %s>" % (num(v[0]), num(v[1]), num(v[2]))


def exact(x):
    """A number written with enough digits to give back a 32-bit float."""
    return "0" if x == 0 else "%.9g" % x


def pov_vec(v, number=num):
    return "<%s,%s,%s>" % (number(v[0]), number(v[1]), number(v[2]))


def dat_vec(v, number=num):
    # Tachyon builds its image frame the other way round (right = up x view), so its world is
    # mirrored in x; the picture then comes out exactly as orvel's.
    return "%s %s %s" % (number(-v[0]), number(v[1]), number(v[2]))


def rgb(c):
    return "%s %s %s" % (num(c[0]), num(c[1]), num(c[2]))


# ---------------------------------------------------------------------------------------------
# Scene description


class Camera:
    """A pinhole camera as orvel defines it: `fov` is the full horizontal angle in degrees and
    the vertical half angle is (fov / 2) / ratio (an angle ratio, not a tangent ratio)."""

    def __init__(self, position, look_at, up=(0.0, 0.0, 1.0), fov=60.0, ratio=None):
        self.position = position
        self.look_at = look_at
        self.up = up
        self.fov = fov
        half = math.radians(fov / 2.0)
        if ratio is None:
            # The angle ratio that makes pixels square for a 4:3 picture.
            ratio = half / math.atan(math.tan(half) * 3.0 / 4.0)
        self.ratio = ratio

    def frame(self):
        """The orthonormal frame and frustum tangents: view, right (image x), up (image -y)."""
        view = unit(sub(self.look_at, self.position))
        right = unit(cross(view, unit(self.up)))
        up = unit(cross(right, view))
        half = math.radians(self.fov / 2.0)
        return view, right, up, math.tan(half), math.tan(half / self.ratio)


class Material:
    """Phong-like surface in orvel's terms. `cls` is the flat colour of its object class."""

    def __init__(self, name, color, cls, ambient=0.1, diffuse=0.7, specular=0.0,
                 roughness=20.0, reflection=0.0, refraction=0.0, ior=1.0):
        self.name = name
        self.color = color
        self.cls = cls
        self.ambient = ambient
        self.diffuse = diffuse
        self.specular = specular
        self.roughness = roughness
        self.reflection = reflection
        self.refraction = refraction
        self.ior = ior
        self.fuzzy = None  # (samples, radius) for orvel-only fuzzy reflection

    def flat(self):
        return Material(self.name, self.cls, self.cls, ambient=1.0, diffuse=0.0)


# Shapes. Each writes itself for one renderer; `tex` is the renderer's name for its material.


class Sphere:
    def __init__(self, center, radius):
        self.center, self.radius = center, radius

    def orv(self, tex):
        return "sphere { center %s radius %s }\n" % (orv_vec(self.center), num(self.radius))

    def pov(self, tex):
        return "sphere { %s, %s %s }\n" % (pov_vec(self.center), num(self.radius), tex)

    def dat(self, tex):
        return "SPHERE CENTER %s RAD %s %s\n" % (dat_vec(self.center), num(self.radius), tex)


class Plane:
    """The plane n . P = d, seen from the side n points to."""

    def __init__(self, normal, distance):
        self.normal, self.distance = normal, distance

    def orv(self, tex):
        return "plane { normal %s distance %s }\n" % (orv_vec(self.normal), num(self.distance))

    def pov(self, tex):
        return "plane { %s, %s %s }\n" % (pov_vec(self.normal), num(self.distance), tex)

    def dat(self, tex):
        center = scale(unit(self.normal), self.distance)
        return "PLANE CENTER %s NORMAL %s %s\n" % (dat_vec(center), dat_vec(self.normal), tex)


class Cylinder:
    """An open cylinder (no end caps), as orvel's is."""

    def __init__(self, base, cap, radius):
        self.base, self.cap, self.radius = base, cap, radius

    def orv(self, tex):
        return "cylinder { base %s cap %s radius %s }\n" % (
            orv_vec(self.base), orv_vec(self.cap), num(self.radius))

    def pov(self, tex):
        return "cylinder { %s, %s, %s open %s }\n" % (
            pov_vec(self.base), pov_vec(self.cap), num(self.radius), tex)

    def dat(self, tex):
        return "FCYLINDER BASE %s APEX %s RAD %s %s\n" % (
            dat_vec(self.base), dat_vec(self.cap), num(self.radius), tex)


class Disc:
    def __init__(self, center, normal, radius):
        self.center, self.normal, self.radius = center, unit(normal), radius

    def orv(self, tex):
        return "disc { center %s normal %s radius %s }\n" % (
            orv_vec(self.center), orv_vec(self.normal), num(self.radius))

    def pov(self, tex):
        return "disc { %s, %s, %s %s }\n" % (
            pov_vec(self.center), pov_vec(self.normal), num(self.radius), tex)

    def dat(self, tex):
        return "RING CENTER %s NORMAL %s INNER 0 OUTER %s %s\n" % (
            dat_vec(self.center), dat_vec(self.normal), num(self.radius), tex)


class Triangles:
    """A batch of triangles, flat or smooth. POV-Ray gets them as one mesh.

    `vertices` and `normals` are lists of points; `faces` yields index triples. Kept as indexed
    lists so that a million-triangle mesh stays small in memory while it is written.
    """

    def __init__(self, vertices, faces, normals=None, number=num):
        self.vertices, self.faces, self.normals = vertices, faces, normals
        self.number = number  # how the peers' files write a coordinate

    def __len__(self):
        return len(self.faces)

    def orv_lines(self):
        v, n = self.vertices, self.normals
        for a, b, c in self.faces:
            if n is None:
                yield "triangle { vertex %s vertex %s vertex %s }\n" % (
                    orv_vec(v[a]), orv_vec(v[b]), orv_vec(v[c]))
            else:
                yield ("smooth_triangle { vertex %s normal %s vertex %s normal %s "
                       "vertex %s normal %s }\n") % (
                    orv_vec(v[a]), orv_vec(n[a]), orv_vec(v[b]), orv_vec(n[b]),
                    orv_vec(v[c]), orv_vec(n[c]))

    def pov_lines(self):
        v, n = self.vertices, self.normals

        def p(x):
            return pov_vec(x, self.number)
        for a, b, c in self.faces:
            if n is None:
                yield "triangle { %s, %s, %s }\n" % (p(v[a]), p(v[b]), p(v[c]))
            else:
                yield "smooth_triangle { %s, %s, %s, %s, %s, %s }\n" % (
                    p(v[a]), p(n[a]), p(v[b]), p(n[b]), p(v[c]), p(n[c]))

    def dat_lines(self, tex):
        # The mirrored world reverses the winding; Tachyon takes the side the vertex normals
        # shade from the winding, so the corners are written in reverse order.
        v, n = self.vertices, self.normals

        def d(x):
            return dat_vec(x, self.number)
        for a, c, b in self.faces:
            if n is None:
                yield "TRI V0 %s V1 %s V2 %s %s\n" % (d(v[a]), d(v[b]), d(v[c]), tex)
            else:
                yield "STRI V0 %s V1 %s V2 %s N0 %s N1 %s N2 %s %s\n" % (
                    d(v[a]), d(v[b]), d(v[c]), d(n[a]), d(n[b]), d(n[c]), tex)


class Model(Triangles):
    """Triangles that orvel reads from a model file with a `mesh` block (`file` is the file's
    name, written beside the scene) and the peers get typed out, as the same triangles. A binary
    file stores 32-bit floats: the peers get those values with enough digits. An OBJ file is
    text: it holds the numbers of the typed scenes, as they are written there."""

    def __init__(self, triangles, fmt, file):
        if fmt == "obj":
            def rounded(points):
                return [tuple(float(num(c)) for c in p) for p in points] if points else None
            number = num
        else:
            def rounded(points):
                return [tuple(modelfiles.float32(c) for c in p) for p in points] if points else None
            number = exact
        super().__init__(rounded(triangles.vertices), list(triangles.faces), rounded(triangles.normals),
                         number)
        self.fmt, self.file = fmt, file

    def orv_lines(self):
        yield 'mesh { file "%s" }\n' % self.file

    def write_file(self, path):
        if self.fmt == "obj":
            modelfiles.write_obj(path, self.vertices, self.faces, self.normals, number=self.number)
        else:
            modelfiles.WRITERS[self.fmt](path, self.vertices, self.faces, self.normals)


class Light:
    def __init__(self, position, color, smooth=None):
        self.position, self.color = position, color
        self.smooth = smooth  # (radius, samples) for an orvel-only smooth-shadow light


class Scene:
    def __init__(self, name, camera, background, description):
        self.name = name
        self.camera = camera
        self.background = background
        self.description = description
        self.lights = []
        self.groups = []  # [(Material, [shape, ...])], in the order the scene was built
        self.orvel_only = False
        self.antialias = None  # orvel-only: (mode, distance, jitter)

    def add(self, material, shape):
        for mat, shapes in self.groups:
            if mat is material:
                shapes.append(shape)
                return
        self.groups.append((material, [shape]))

    def primitive_count(self):
        return sum(len(s) if isinstance(s, Triangles) else 1
                   for _, shapes in self.groups for s in shapes)


# ---------------------------------------------------------------------------------------------
# Writers


def write_chunks(path, chunks):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        buf = []
        for chunk in chunks:
            buf.append(chunk)
            if len(buf) >= 4096:
                f.write("".join(buf))
                buf.clear()
        f.write("".join(buf))
    os.replace(tmp, path)


def orv_chunks(scene, width, height, flat):
    cam = scene.camera
    bg = (0.0, 0.0, 0.0) if flat else scene.background
    yield "; %s: %s\n" % (scene.name, scene.description)
    yield "camera {\n  position %s\n  look_at %s\n  up %s\n  fov %s\n  ratio %s\n}\n" % (
        orv_vec(cam.position), orv_vec(cam.look_at), orv_vec(cam.up), num(cam.fov),
        "%.10g" % cam.ratio)
    aa = "antialiasing \"none\""
    if scene.antialias and not flat:
        mode, distance, jitter = scene.antialias
        aa = "antialiasing \"%s\" aa_distance %d jitter \"%s\"" % (
            mode, distance, "yes" if jitter else "no")
    # 640 x 480 is only a default: the drivers give the size with -r.
    yield ("settings {\n  resolution 640 480\n  output_type \"ppm\"\n  output_name \"out\"\n"
           "  background %s\n  %s\n}\n") % (rgb(bg), aa)
    if not flat:
        for light in scene.lights:
            extra = ""
            if light.smooth:
                extra = " shadow_type \"smooth\" radius %s samples %d" % (
                    num(light.smooth[0]), light.smooth[1])
            # A target keeps the block valid for any light type; point lights ignore it.
            yield ("light { position %s color %s attenuation_type \"none\" target %s%s }\n") % (
                orv_vec(light.position), rgb(light.color), orv_vec(cam.look_at), extra)
    for mat, shapes in scene.groups:
        m = mat.flat() if flat else mat
        s = "surface {\n  color %s\n  ambient %s\n  diffuse %s\n" % (
            rgb(m.color), num(m.ambient), num(m.diffuse))
        if m.specular > 0:
            s += "  specular %s\n  roughness %s\n" % (num(m.specular), num(m.roughness))
        if m.reflection > 0:
            s += "  reflection %s\n" % num(m.reflection)
            if m.fuzzy:
                s += "  reflection_type \"fuzzy\"\n  reflection_samples %d\n  reflection_radius %s\n" % (
                    m.fuzzy[0], num(m.fuzzy[1]))
        if m.refraction > 0:
            s += "  refraction %s\n  refraction_index %s\n" % (num(m.refraction), num(m.ior))
        yield s + "}\n"
        for shape in shapes:
            if isinstance(shape, Triangles):
                yield from shape.orv_lines()
            else:
                yield shape.orv(None)


def pov_chunks(scene, width, height, flat):
    view, right, up, tw, th = scene.camera.frame()
    bg = (0.0, 0.0, 0.0) if flat else scene.background
    yield "// %s: %s\n#version 3.7;\n" % (scene.name, scene.description)
    # Trace level 6 is five bounces below the primary ray, where orvel stops; no adaptive
    # depth cut-off, since orvel traces every secondary ray down to its limit.
    yield ("global_settings { assumed_gamma 1.0 max_trace_level 6 adc_bailout 0 "
           "ambient_light rgb 1 }\n")
    # The screen spans direction +- right/2 and +- up/2: twice orvel's frustum tangents. The
    # explicit vectors make POV-Ray's handedness irrelevant: image x runs along `right`.
    yield "camera { perspective location %s direction %s right %s up %s }\n" % (
        pov_vec(scene.camera.position), pov_vec(view), pov_vec(scale(right, 2 * tw)),
        pov_vec(scale(up, 2 * th)))
    yield "background { rgb <%s> }\n" % rgb(bg).replace(" ", ",")
    if not flat:
        for light in scene.lights:
            yield "light_source { %s color rgb <%s> }\n" % (
                pov_vec(light.position), rgb(light.color).replace(" ", ","))
    for i, (mat, shapes) in enumerate(scene.groups):
        m = mat.flat() if flat else mat
        # POV-Ray scales the ambient and diffuse terms by the opacity (1 - transmit); orvel
        # adds the refracted colour on top of the full surface colour, so undo the scaling.
        opacity = 1.0 - m.refraction
        finish = "ambient %s diffuse %s" % (num(m.ambient / opacity), num(m.diffuse / opacity))
        if m.specular > 0:
            finish += " phong %s phong_size %s" % (num(m.specular), num(m.roughness))
        if m.reflection > 0:
            finish += " reflection { %s }" % num(m.reflection)
        if m.refraction > 0:
            pigment = "rgbt <%s,%s>" % (rgb(m.color).replace(" ", ","), num(m.refraction))
        else:
            pigment = "rgb <%s>" % rgb(m.color).replace(" ", ",")
        yield "#declare T%d = texture { pigment { %s } finish { %s } }\n" % (i, pigment, finish)
        tex = "texture { T%d }" % i
        if m.refraction > 0:
            tex += " interior { ior %s }" % num(m.ior)
        for shape in shapes:
            if isinstance(shape, Triangles):
                yield "mesh {\n"
                yield from shape.pov_lines()
                yield "  %s\n}\n" % tex
            else:
                yield shape.pov(tex)


def dat_chunks(scene, width, height, flat):
    view, right, up, tw, th = scene.camera.frame()
    bg = (0.0, 0.0, 0.0) if flat else scene.background
    # Tachyon's image plane is 1/zoom high and (w/h)/aspectratio/zoom wide at unit distance.
    zoom = 0.5 / th
    aspect = (width / height) * th / tw
    # Tachyon aims each primary ray at a pixel corner, orvel at the pixel centre: tilting the
    # view by half a pixel left and down puts Tachyon's rays through orvel's sample points.
    viewdir = sub(sub(view, scale(right, tw / width)), scale(up, th / height))
    yield "BEGIN_SCENE\nRESOLUTION %d %d\n" % (width, height)
    yield ("CAMERA\n  ZOOM %r\n  ASPECTRATIO %r\n  ANTIALIASING 0\n  RAYDEPTH 6\n"
           "  CENTER %s\n  VIEWDIR %s\n  UPDIR %s\nEND_CAMERA\n") % (
        zoom, aspect, dat_vec(scene.camera.position), dat_vec(viewdir), dat_vec(up))
    yield "BACKGROUND %s\n" % rgb(bg)
    if not flat:
        for light in scene.lights:
            yield "LIGHT CENTER %s RAD 0 COLOR %s\n" % (dat_vec(light.position), rgb(light.color))
    for i, (mat, shapes) in enumerate(scene.groups):
        m = mat.flat() if flat else mat
        # Tachyon's SPECULAR is the mirror reflection; its transparency adds (1 - opacity)
        # times the colour behind, without bending the ray.
        tex = "AMBIENT %s DIFFUSE %s SPECULAR %s OPACITY %s" % (
            num(m.ambient), num(m.diffuse), num(m.reflection), num(1.0 - m.refraction))
        if m.specular > 0:
            tex += " PHONG PLASTIC %s PHONG_SIZE %s" % (num(m.specular), num(m.roughness))
        yield "TEXDEF T%d %s COLOR %s TEXFUNC 0\n" % (i, tex, rgb(m.color))
        for shape in shapes:
            if isinstance(shape, Triangles):
                yield from shape.dat_lines("T%d" % i)
            else:
                yield shape.dat("T%d" % i)
    yield "END_SCENE\n"


WRITERS = {"orv": orv_chunks, "pov": pov_chunks, "dat": dat_chunks}


# ---------------------------------------------------------------------------------------------
# Workloads

# Flat class colours: every component 0 or 1, so a render maps back to its class exactly.
RED, GREEN, BLUE = (1.0, 0.0, 0.0), (0.0, 1.0, 0.0), (0.0, 0.0, 1.0)
YELLOW, CYAN, MAGENTA, WHITE = (1.0, 1.0, 0.0), (0.0, 1.0, 1.0), (1.0, 0.0, 1.0), (1.0, 1.0, 1.0)
SKY = (0.55, 0.7, 0.9)


def spheres_scene(name="spheres", quality=False):
    cam = Camera((0.0, -9.0, 9.0), (0.0, 24.0, 0.0), fov=60.0)
    scene = Scene(name, cam, SKY, "100 x 100 small spheres on a ground plane, "
                  "every fifth one a sharp mirror (0.3), two point lights")
    scene.lights.append(Light((-30.0, -25.0, 45.0), (0.75, 0.75, 0.75),
                              smooth=(2.0, 8) if quality else None))
    scene.lights.append(Light((45.0, 10.0, 30.0), (0.45, 0.45, 0.5)))
    ground = Material("ground", (0.6, 0.6, 0.55), BLUE, ambient=0.12, diffuse=0.6)
    scene.add(ground, Plane((0.0, 0.0, 1.0), 0.0))
    rng = random.Random(20240611)
    palette = [(0.9, 0.3, 0.25), (0.3, 0.75, 0.35), (0.3, 0.45, 0.9),
               (0.95, 0.8, 0.3), (0.75, 0.4, 0.85), (0.35, 0.8, 0.8)]
    matte = [Material("matte%d" % i, c, YELLOW, ambient=0.1, diffuse=0.65, specular=0.4,
                      roughness=30.0) for i, c in enumerate(palette)]
    mirror = [Material("mirror%d" % i, c, RED, ambient=0.1, diffuse=0.5, specular=0.6,
                       roughness=60.0, reflection=0.3) for i, c in enumerate(palette)]
    if quality:
        for m in mirror:
            m.fuzzy = (6, 0.3)
    radius = 0.35
    for j in range(100):
        for i in range(100):
            k = j * 100 + i
            colour = rng.randrange(len(palette))
            mat = mirror[colour] if k % 5 == 0 else matte[colour]
            scene.add(mat, Sphere((i - 49.5, j + 2.0, radius), radius))
    if quality:
        scene.name = name
        scene.description = ("the spheres scene with adaptive anti-aliasing and jitter, a "
                             "smooth-shadow light and fuzzy reflection (orvel only)")
        scene.orvel_only = True
        scene.antialias = ("adaptive", 32, True)
    return scene


def height(x, y, bumps):
    z = 1.2 * math.sin(0.21 * x) * math.cos(0.17 * y) + 0.6 * math.sin(0.05 * (x + 2 * y))
    gx = 1.2 * 0.21 * math.cos(0.21 * x) * math.cos(0.17 * y) + 0.6 * 0.05 * math.cos(0.05 * (x + 2 * y))
    gy = -1.2 * 0.17 * math.sin(0.21 * x) * math.sin(0.17 * y) + 0.6 * 0.1 * math.cos(0.05 * (x + 2 * y))
    for bx, by, amp, w in bumps:
        e = amp * math.exp(-((x - bx) ** 2 + (y - by) ** 2) / (w * w))
        z += e
        gx += e * -2.0 * (x - bx) / (w * w)
        gy += e * -2.0 * (y - by) / (w * w)
    return z, gx, gy


def heightfield(nx, ny, size_x, size_y, smooth, seed):
    """A grid of nx x ny quads (2 nx ny triangles) over [-size/2, size/2]^2."""
    rng = random.Random(seed)
    bumps = [(rng.uniform(-size_x / 2, size_x / 2), rng.uniform(-size_y / 2, size_y / 2),
              rng.uniform(-2.0, 5.0), rng.uniform(2.0, 8.0)) for _ in range(40)]
    vertices, normals = [], []
    for j in range(ny + 1):
        y = -size_y / 2 + size_y * j / ny
        for i in range(nx + 1):
            x = -size_x / 2 + size_x * i / nx
            z, gx, gy = height(x, y, bumps)
            vertices.append((x, y, z))
            if smooth:
                normals.append(unit((-gx, -gy, 1.0)))

    def faces():
        row = nx + 1
        for j in range(ny):
            for i in range(nx):
                a = j * row + i
                yield (a, a + 1, a + row + 1)
                yield (a, a + row + 1, a + row)

    class Faces:
        def __iter__(self):
            return faces()

        def __len__(self):
            return 2 * nx * ny

    return Triangles(vertices, Faces(), normals if smooth else None)


def mesh_scene(smooth):
    name = "mesh_smooth" if smooth else "mesh_flat"
    cam = Camera((0.0, -62.0, 34.0), (0.0, 2.0, 0.0), fov=60.0)
    kind = "smooth triangles" if smooth else "flat triangles"
    scene = Scene(name, cam, SKY, "a height field of 199,712 %s, one light" % kind)
    scene.lights.append(Light((-40.0, -30.0, 60.0), (1.0, 1.0, 1.0)))
    land = Material("land", (0.62, 0.55, 0.4), GREEN, ambient=0.1, diffuse=0.8,
                    specular=0.25, roughness=25.0)
    scene.add(land, heightfield(316, 316, 80.0, 80.0, smooth, seed=7))
    return scene


def cylinders_scene():
    cam = Camera((-12.0, -19.0, 20.5), (9.0, 9.0, 6.5), fov=60.0)
    scene = Scene("cylinders", cam, (0.12, 0.12, 0.16),
                  "ball and stick: 800 atoms, 1,600 open cylinder bonds, 400 discs, two lights")
    scene.lights.append(Light((-25.0, -40.0, 40.0), (0.8, 0.8, 0.8)))
    scene.lights.append(Light((40.0, -10.0, 30.0), (0.4, 0.4, 0.45)))
    rng = random.Random(424242)
    atom_mats = [Material("atom%d" % i, c, YELLOW, ambient=0.1, diffuse=0.7, specular=0.5,
                          roughness=40.0)
                 for i, c in enumerate([(0.85, 0.2, 0.2), (0.9, 0.9, 0.9), (0.25, 0.4, 0.9)])]
    bond_mat = Material("bond", (0.6, 0.6, 0.6), CYAN, ambient=0.1, diffuse=0.7, specular=0.3,
                        roughness=20.0)
    disc_mat = Material("disc", (0.95, 0.75, 0.3), MAGENTA, ambient=0.15, diffuse=0.7)
    nx, ny, nz, step = 10, 10, 8, 2.0
    pos = {}
    for k in range(nz):
        for j in range(ny):
            for i in range(nx):
                pos[(i, j, k)] = (i * step + rng.uniform(-0.25, 0.25),
                                  j * step + rng.uniform(-0.25, 0.25),
                                  k * step + rng.uniform(-0.25, 0.25))
    edges = []
    for (i, j, k) in sorted(pos):
        for d in ((1, 0, 0), (0, 1, 0), (0, 0, 1)):
            other = (i + d[0], j + d[1], k + d[2])
            if other in pos:
                edges.append(((i, j, k), other))
    rng.shuffle(edges)
    for a, b in sorted(edges[:1600]):
        scene.add(bond_mat, Cylinder(pos[a], pos[b], 0.12))
    for n, key in enumerate(sorted(pos)):
        scene.add(atom_mats[(key[0] + 2 * key[1] + key[2]) % 3], Sphere(pos[key], 0.42))
        if n % 2 == 0:
            normal = unit((rng.uniform(-1, 1), rng.uniform(-1, 1), rng.uniform(0.2, 1)))
            scene.add(disc_mat, Disc(pos[key], normal, 0.7))
    return scene


def scan_model(nu, nv, seed):
    """A scanned stone as a scanner leaves it: a closed, irregular surface of 2 nu (nv - 1) flat
    triangles, generated (a sphere displaced by a sum of random waves, and rough at the scale of
    the triangles like scanner noise), so that no outside file is needed."""
    rng = random.Random(seed)
    waves = [(unit((rng.gauss(0, 1), rng.gauss(0, 1), rng.gauss(0, 1))), rng.uniform(1.0, 7.0),
              rng.uniform(0, 2 * math.pi)) for _ in range(24)]

    def radius(d):
        r = 6.0
        for axis, freq, phase in waves:
            r += 0.9 / freq * math.sin(freq * dot(axis, d) + phase)
        return r * (1.0 + rng.uniform(-0.004, 0.004))

    vertices = [(0.0, 0.0, -radius((0.0, 0.0, -1.0)))]
    for j in range(1, nv):
        theta = math.pi * j / nv
        for i in range(nu):
            phi = 2 * math.pi * (i + 0.5 * (j % 2)) / nu
            d = (math.sin(theta) * math.cos(phi), math.sin(theta) * math.sin(phi), -math.cos(theta))
            vertices.append(scale(d, radius(d)))
    vertices.append((0.0, 0.0, radius((0.0, 0.0, 1.0))))
    top = len(vertices) - 1

    def ring(j, i):
        return 1 + (j - 1) * nu + i % nu

    faces = []
    for i in range(nu):
        faces.append((0, ring(1, i + 1), ring(1, i)))
        faces.append((top, ring(nv - 1, i), ring(nv - 1, i + 1)))
    for j in range(1, nv - 1):
        for i in range(nu):
            faces.append((ring(j, i), ring(j, i + 1), ring(j + 1, i + 1)))
            faces.append((ring(j, i), ring(j + 1, i + 1), ring(j + 1, i)))
    return Triangles(vertices, faces, None)


def scan_scene():
    cam = Camera((0.0, -26.0, 8.0), (0.0, 0.0, 0.5), fov=60.0)
    scene = Scene("scan", cam, SKY, "a generated scan of a stone: 65,024 irregular flat "
                  "triangles on a ground plane, two lights")
    scene.lights.append(Light((-30.0, -40.0, 50.0), (0.8, 0.8, 0.8)))
    scene.lights.append(Light((35.0, -20.0, 25.0), (0.4, 0.4, 0.45)))
    ground = Material("ground", (0.6, 0.6, 0.55), BLUE, ambient=0.12, diffuse=0.6)
    scene.add(ground, Plane((0.0, 0.0, 1.0), -6.5))
    stone = Material("stone", (0.7, 0.62, 0.52), GREEN, ambient=0.1, diffuse=0.75, specular=0.2,
                     roughness=20.0)
    scene.add(stone, scan_model(256, 128, seed=31))
    return scene


def glass_scene():
    cam = Camera((0.0, -15.0, 6.5), (0.0, 6.0, 1.5), fov=60.0)
    scene = Scene("glass", cam, SKY, "five refracting spheres (index 1.5) and a mirror over a "
                  "tiled floor, recursion to the limit, two lights")
    scene.lights.append(Light((-15.0, -20.0, 25.0), (0.7, 0.7, 0.7)))
    scene.lights.append(Light((20.0, -5.0, 18.0), (0.45, 0.45, 0.45)))
    tile_a = Material("tile_a", (0.85, 0.85, 0.8), BLUE, ambient=0.12, diffuse=0.7)
    tile_b = Material("tile_b", (0.2, 0.25, 0.35), CYAN, ambient=0.12, diffuse=0.7)
    for j in range(20):
        for i in range(20):
            x0, y0 = -20.0 + 2 * i, -12.0 + 2 * j
            quad = [(x0, y0, 0.0), (x0 + 2, y0, 0.0), (x0 + 2, y0 + 2, 0.0), (x0, y0 + 2, 0.0)]
            scene.add(tile_a if (i + j) % 2 == 0 else tile_b,
                      Triangles(quad, [(0, 1, 2), (0, 2, 3)]))
    mirror = Material("mirror", (0.8, 0.85, 0.9), WHITE, ambient=0.05, diffuse=0.1,
                      specular=0.5, roughness=80.0, reflection=0.85)
    rect = [(-9.0, 17.0, 0.0), (9.0, 19.0, 0.0), (9.0, 19.0, 9.0), (-9.0, 17.0, 9.0)]
    scene.add(mirror, Triangles(rect, [(0, 1, 2), (0, 2, 3)]))
    glass = Material("glass", (1.0, 1.0, 1.0), RED, ambient=0.0, diffuse=0.05, specular=0.8,
                     roughness=90.0, reflection=0.08, refraction=0.9, ior=1.5)
    for c, r in [((-5.0, 2.0, 1.6), 1.6), ((-1.0, 5.5, 1.4), 1.4), ((3.2, 1.0, 2.0), 2.0),
                 ((6.5, 8.0, 1.5), 1.5), ((0.5, -4.0, 1.0), 1.0)]:
        scene.add(glass, Sphere(c, r))
    rng = random.Random(99)
    solid = [Material("solid%d" % i, c, YELLOW, ambient=0.1, diffuse=0.7, specular=0.4,
                      roughness=30.0)
             for i, c in enumerate([(0.9, 0.25, 0.2), (0.25, 0.8, 0.3), (0.95, 0.8, 0.2)])]
    for n in range(8):
        c = (rng.uniform(-10, 10), rng.uniform(6, 14), 0.8)
        scene.add(solid[n % 3], Sphere(c, 0.8))
    return scene


def tiny_scene():
    cam = Camera((0.0, -5.0, 1.0), (0.0, 0.0, 0.0), fov=60.0)
    scene = Scene("tiny", cam, SKY, "one sphere and one light: the fixed cost of a run")
    scene.lights.append(Light((-5.0, -5.0, 5.0), (1.0, 1.0, 1.0)))
    scene.add(Material("ball", (0.8, 0.3, 0.2), YELLOW), Sphere((0.0, 0.0, 0.0), 1.0))
    return scene


def bigmesh_scene(triangles=1000000):
    """The height field of bigmesh over the same ground, with about `triangles` triangles
    (1,000 x 500 quads for the default million)."""
    ny = round(math.sqrt(triangles / 4.0))
    nx = triangles // (2 * ny)
    name = "bigmesh" if triangles == 1000000 else "bigmesh_%d" % triangles
    cam = Camera((0.0, -70.0, 40.0), (0.0, 0.0, 0.0), fov=60.0)
    scene = Scene(name, cam, SKY, "a height field of {:,} flat triangles (read-and-build check, orvel "
                  "only)".format(2 * nx * ny))
    scene.lights.append(Light((-40.0, -30.0, 60.0), (1.0, 1.0, 1.0)))
    land = Material("land", (0.62, 0.55, 0.4), GREEN, ambient=0.1, diffuse=0.8)
    scene.add(land, heightfield(nx, ny, 100.0, 50.0, False, seed=11))
    scene.orvel_only = True
    return scene


def model_scene(base, fmt):
    """A workload whose triangles orvel reads from a model file: binary PLY, binary STL, .glb
    or OBJ (the peers read them typed)."""
    scene = base()
    name = "%s_%s" % (scene.name, fmt)
    for _, shapes in scene.groups:
        for k, shape in enumerate(shapes):
            if isinstance(shape, Triangles):
                shapes[k] = Model(shape, fmt, "%s.%s" % (name, fmt))
    scene.name = name
    scene.description += ", read from a %s file" % MODEL_FORMATS[fmt]
    return scene


MODEL_FORMATS = {"ply": "binary PLY", "stl": "binary STL", "glb": "binary glTF", "obj": "Wavefront OBJ"}

WORKLOADS = {
    "spheres": spheres_scene,
    "mesh_flat": lambda: mesh_scene(False),
    "mesh_smooth": lambda: mesh_scene(True),
    "cylinders": cylinders_scene,
    "glass": glass_scene,
    "scan": scan_scene,
    "quality": lambda: spheres_scene("quality", quality=True),
}
for _fmt in MODEL_FORMATS:
    WORKLOADS["mesh_flat_" + _fmt] = lambda fmt=_fmt: model_scene(lambda: mesh_scene(False), fmt)
WORKLOADS["mesh_smooth_ply"] = lambda: model_scene(lambda: mesh_scene(True), "ply")
# Workloads rendered by default; tiny measures start-up costs, bigmesh and its model files are
# only for the read-and-build check.
DEFAULT_SCENES = list(WORKLOADS)
EXTRA = {"tiny": tiny_scene, "bigmesh": bigmesh_scene}
for _fmt in MODEL_FORMATS:
    EXTRA["bigmesh_" + _fmt] = lambda fmt=_fmt: model_scene(bigmesh_scene, fmt)
ORVEL_ONLY = {"quality"} | {name for name in EXTRA if name.startswith("bigmesh")}


def build_is_orvel_only(name):
    return name in ORVEL_ONLY


# ---------------------------------------------------------------------------------------------
# Files on disk

def scene_paths(out_dir, name, width, height, flat=False):
    """Only the Tachyon file depends on the picture size (its camera is set up per size);
    orvel and POV-Ray take the size from the command line."""
    base = name + ("_flat" if flat else "")
    return {"orv": os.path.join(out_dir, base + ".orv"),
            "pov": os.path.join(out_dir, base + ".pov"),
            "dat": os.path.join(out_dir, "%s_%dx%d.dat" % (base, width, height))}


_cache = {}


def build(name):
    if name not in _cache:
        _cache[name] = (EXTRA.get(name) or WORKLOADS[name])()
    return _cache[name]


def ensure_scene(out_dir, name, width, height, flat=False):
    """Write the scene files that are missing or older than this generator; return their
    paths by extension (only 'orv' for orvel-only scenes)."""
    os.makedirs(out_dir, exist_ok=True)
    scene = build(name)
    paths = scene_paths(out_dir, name, width, height, flat)
    if scene.orvel_only:
        paths = {"orv": paths["orv"]}
    stamp = max(os.path.getmtime(os.path.abspath(__file__)), os.path.getmtime(modelfiles.__file__))
    for ext, path in paths.items():
        if not os.path.exists(path) or os.path.getmtime(path) < stamp:
            write_chunks(path, WRITERS[ext](scene, width, height, flat))
    for _, shapes in scene.groups:
        for shape in shapes:
            path = os.path.join(out_dir, shape.file) if isinstance(shape, Model) else None
            if path and (not os.path.exists(path) or os.path.getmtime(path) < stamp):
                shape.write_file(path + ".tmp")
                os.replace(path + ".tmp", path)
    return paths


def parse_size(text):
    w, _, h = text.lower().partition("x")
    return int(w), int(h)


def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default=os.path.join(here, "..", "build-compare", "scenes"))
    ap.add_argument("--scenes", default=",".join(DEFAULT_SCENES))
    ap.add_argument("--sizes", default="640x480,1280x960")
    ap.add_argument("--flat", action="store_true", help="write the flat framing variants too")
    ap.add_argument("--bigmesh", action="store_true", help="write the 1,000,000-triangle scene")
    ap.add_argument("--triangles", type=int, default=1000000,
                    help="with --bigmesh: about this many triangles instead (bigmesh_N.orv), for "
                         "timing the read and build against the size of the scene")
    args = ap.parse_args(argv)
    out = os.path.normpath(args.out)
    if args.bigmesh and args.triangles != 1000000:
        scene = bigmesh_scene(args.triangles)
        path = scene_paths(out, scene.name, 320, 240)["orv"]
        os.makedirs(out, exist_ok=True)
        write_chunks(path, WRITERS["orv"](scene, 320, 240, False))
        print(path)
        print("%s: %d primitives" % (scene.name, scene.primitive_count()), file=sys.stderr)
        return
    names = ["bigmesh"] if args.bigmesh else args.scenes.split(",")
    for name in names:
        if name not in WORKLOADS and name not in EXTRA:
            sys.exit("unknown scene %r (known: %s)" % (name, ", ".join(WORKLOADS)))
    sizes = [(320, 240)] if args.bigmesh else [parse_size(s) for s in args.sizes.split(",")]
    for name in names:
        for w, h in sizes:
            for flat in ([False, True] if args.flat else [False]):
                for path in ensure_scene(out, name, w, h, flat).values():
                    print(path)
        print("%s: %d primitives" % (name, build(name).primitive_count()), file=sys.stderr)


if __name__ == "__main__":
    main()
