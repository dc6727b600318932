"""Checks of the benchmark tools: python3 -m unittest discover -s bench -p 'test_*.py'"""

import math
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import compare  # noqa: E402
import framing  # noqa: E402
import renderers  # noqa: E402
import scenes  # noqa: E402


class CameraMapping(unittest.TestCase):
    def test_frame_follows_view_cross_up_and_square_pixels(self):
        cam = scenes.Camera((0, 0, 0), (0, 5, 0), fov=60)
        view, right, up, tw, th = cam.frame()
        for got, want in ((view, (0, 1, 0)), (right, (1, 0, 0)), (up, (0, 0, 1))):
            for g, w in zip(got, want):
                self.assertAlmostEqual(g, w)
        self.assertAlmostEqual(tw, math.tan(math.radians(30)))
        self.assertAlmostEqual(tw / th, 4 / 3)  # the chosen angle ratio gives square pixels
        self.assertAlmostEqual(th, math.tan(math.radians(30) / cam.ratio))

    def test_tachyon_camera_zoom_aspect_and_mirror(self):
        scene = scenes.Scene("t", scenes.Camera((1, -5, 0), (1, 0, 0), fov=60), (0, 0, 0), "")
        text = "".join(scenes.dat_chunks(scene, 640, 480, flat=False))
        _, _, _, tw, th = scene.camera.frame()
        self.assertIn("ZOOM %r" % (0.5 / th), text)
        self.assertIn("ASPECTRATIO %r" % ((640 / 480) * th / tw), text)
        self.assertIn("CENTER -1 -5 0", text)  # x is mirrored for Tachyon

    def test_pov_screen_vectors_are_twice_the_tangents(self):
        scene = scenes.Scene("t", scenes.Camera((0, 0, 0), (0, 1, 0), fov=90, ratio=2), (0, 0, 0), "")
        text = "".join(scenes.pov_chunks(scene, 640, 480, flat=False))
        self.assertIn("right <2,0,0>", text)
        self.assertIn("up <0,0,%s>" % scenes.num(2 * math.tan(math.radians(22.5))), text)


class SceneFiles(unittest.TestCase):
    def test_orvel_syntax_has_no_commas_or_negative_zero(self):
        text = "".join(scenes.orv_chunks(scenes.glass_scene(), 640, 480, flat=False))
        body = "\n".join(l for l in text.splitlines() if not l.startswith(";"))
        self.assertNotIn(",", body)
        self.assertNotIn(" -0 ", body.replace(">", " ").replace("<", " "))
        self.assertIn('attenuation_type "none"', body)

    def test_workload_sizes(self):
        def count(scene, kind):
            return sum(len(s) if isinstance(s, scenes.Triangles) else 1
                       for _, shapes in scene.groups for s in shapes if isinstance(s, kind))
        sph = scenes.spheres_scene()
        self.assertEqual(count(sph, scenes.Sphere), 10000)
        mirrors = sum(len(shapes) for m, shapes in sph.groups if m.reflection > 0)
        self.assertEqual(mirrors, 2000)
        cyl = scenes.cylinders_scene()
        self.assertEqual((count(cyl, scenes.Cylinder), count(cyl, scenes.Disc),
                          count(cyl, scenes.Sphere)), (1600, 400, 800))
        self.assertEqual(count(scenes.mesh_scene(True), scenes.Triangles), 199712)

    def test_heightfield_normals_are_unit_and_face_up(self):
        mesh = scenes.heightfield(4, 3, 10.0, 10.0, smooth=True, seed=1)
        self.assertEqual(len(mesh), 24)
        self.assertEqual(len(list(mesh.faces)), 24)
        for n in mesh.normals:
            self.assertAlmostEqual(scenes.dot(n, n), 1.0)
            self.assertGreater(n[2], 0)

    def test_generation_is_deterministic(self):
        a = "".join(scenes.orv_chunks(scenes.cylinders_scene(), 640, 480, flat=True))
        b = "".join(scenes.orv_chunks(scenes.cylinders_scene(), 640, 480, flat=True))
        self.assertEqual(a, b)


class Images(unittest.TestCase):
    def test_ppm_with_comments_and_16_bit_samples(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "a.ppm")
            with open(path, "wb") as f:
                f.write(b"P6\n# made by\n2 1\n# another\n65535\n" + bytes([200, 1, 0, 2, 3, 4] * 2))
            self.assertEqual(renderers.read_ppm(path), (2, 1, bytes([200, 0, 3, 200, 0, 3])))
            with open(path, "wb") as f:
                f.write(b"P6\n2 2\n255\n" + bytes(9))
            with self.assertRaises(ValueError):
                renderers.read_ppm(path)

    def test_class_mismatch_counts_mask_and_class_separately(self):
        ref = framing.classes(bytes([0, 0, 0, 255, 0, 0, 255, 255, 0, 0, 0, 255]))
        other = framing.classes(bytes([0, 0, 0, 250, 10, 0, 0, 0, 0, 0, 200, 255]))
        self.assertEqual(ref, [0, 4, 6, 1])
        self.assertEqual(framing.mismatch(ref, other), (0.25, 0.5))


class Pairing(unittest.TestCase):
    def test_orvel_runs_meet_the_peer_of_equal_or_largest_lower_thread_count(self):
        def r(family, n):
            return renderers.Renderer("%s %d" % (family, n), family, "x", n, None)
        peers = [r("povray", 1), r("povray", 2)]
        self.assertEqual(compare.peer_for(r("orvel", 1), peers).threads, 1)
        self.assertEqual(compare.peer_for(r("orvel", 2), peers).threads, 2)
        self.assertEqual(compare.peer_for(r("orvel", 8), peers).threads, 2)
        self.assertIsNone(compare.peer_for(r("orvel", 1), [r("povray", 2)]))


if __name__ == "__main__":
    unittest.main()
