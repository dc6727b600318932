"""Checks of the benchmark tools: python3 -m unittest discover -s bench -p 'test_*.py'"""

import math
import os
import re
import struct
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import compare  # noqa: E402
import framing  # noqa: E402
import renderers  # noqa: E402
import scenes  # noqa: E402


class SceneFiles(unittest.TestCase):
    def test_peer_cameras_frame_the_same_view(self):
        scene = scenes.Scene("t", scenes.Camera((1, -5, 0), (1, 0, 0), fov=60), (0, 0, 0), "")
        text = "".join(scenes.dat_chunks(scene, 640, 480, flat=False))
        _, _, _, tw, th = scene.camera.frame()
        self.assertIn("ZOOM %r" % (0.5 / th), text)
        self.assertIn("ASPECTRATIO %r" % ((640 / 480) * th / tw), text)
        self.assertIn("CENTER -1 -5 0", text)  # x is mirrored for Tachyon
        scene = scenes.Scene("t", scenes.Camera((0, 0, 0), (0, 1, 0), fov=90, ratio=2), (0, 0, 0), "")
        text = "".join(scenes.pov_chunks(scene, 640, 480, flat=False))
        self.assertIn("right <2,0,0>", text)
        self.assertIn("up <0,0,%s>" % scenes.num(2 * math.tan(math.radians(22.5))), text)

    def test_orvel_syntax_is_deterministic_without_commas_or_negative_zero(self):
        text = "".join(scenes.orv_chunks(scenes.glass_scene(), 640, 480, flat=False))
        body = "\n".join(l for l in text.splitlines() if not l.startswith(";"))
        self.assertNotIn(",", body)
        self.assertNotIn(" -0 ", body.replace(">", " ").replace("<", " "))
        self.assertEqual(text, "".join(scenes.orv_chunks(scenes.glass_scene(), 640, 480, flat=False)))

    def test_heightfield_normals_are_unit_and_face_up(self):
        mesh = scenes.heightfield(4, 3, 10.0, 10.0, smooth=True, seed=1)
        for n in mesh.normals:
            self.assertAlmostEqual(scenes.dot(n, n), 1.0)
            self.assertGreater(n[2], 0)


class ModelWorkloads(unittest.TestCase):
    def test_peers_get_the_triangles_of_the_model_file(self):
        model = scenes.Model(scenes.Triangles([(0.1, 0.2, 0.3), (1.7, 0, 0), (0, 2.3, -4)], [(0, 1, 2)]),
                             "stl", "t.stl")
        with tempfile.TemporaryDirectory() as d:
            model.write_file(os.path.join(d, "t.stl"))
            with open(os.path.join(d, "t.stl"), "rb") as f:
                stored = struct.unpack("<9f", f.read()[96:132])
        typed = re.findall(r"[-+]?[0-9.]+(?:e[-+]?[0-9]+)?", "".join(model.pov_lines()))
        self.assertEqual([scenes.modelfiles.float32(float(x)) for x in typed], list(stored))
        self.assertEqual(list(model.orv_lines()), ['mesh { file "t.stl" }\n'])
        scene = scenes.build("mesh_flat_glb")
        self.assertEqual(scene.primitive_count(), scenes.build("mesh_flat").primitive_count())


class Tools(unittest.TestCase):
    def test_ppm_with_comments_and_16_bit_samples(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "a.ppm")
            with open(path, "wb") as f:
                f.write(b"P6\n# made by\n2 1\n# another\n65535\n" + bytes([200, 1, 0, 2, 3, 4] * 2))
            self.assertEqual(renderers.read_ppm(path), (2, 1, bytes([200, 0, 3, 200, 0, 3])))
            with open(path, "wb") as f:
                f.write(b"P6\n2 2\n255\n" + bytes(9))  # too short
            with self.assertRaises(ValueError):
                renderers.read_ppm(path)

    def test_class_mismatch_counts_mask_and_class_separately(self):
        ref = framing.classes(bytes([0, 0, 0, 255, 0, 0, 255, 255, 0, 0, 0, 255]))
        other = framing.classes(bytes([0, 0, 0, 250, 10, 0, 0, 0, 0, 0, 200, 255]))
        self.assertEqual(framing.mismatch(ref, other), (0.25, 0.5))

    def test_orvel_runs_meet_the_peer_of_equal_or_largest_lower_thread_count(self):
        def r(family, n):
            return renderers.Renderer("%s %d" % (family, n), family, "x", n, None)
        peers = [r("povray", 1), r("povray", 2)]
        for threads, peer in ((1, 1), (2, 2), (8, 2)):
            self.assertEqual(compare.peer_for(r("orvel", threads), peers).threads, peer)
        self.assertIsNone(compare.peer_for(r("orvel", 1), [r("povray", 2)]))

    def test_a_baseline_build_runs_beside_with_its_labels_tagged(self):
        with tempfile.TemporaryDirectory() as d:
            for name in ("orvel", "orvel-mt"):
                path = os.path.join(d, name)
                with open(path, "w") as f:
                    f.write("#!/bin/sh\n")
                os.chmod(path, 0o755)
            base = renderers.orvel_renderers(d, (2,), tag="base ")
            self.assertEqual([b.label for b in base], ["base orvel", "base orvel-mt -t 2"])
            self.assertEqual([b.family for b in base], ["orvel", "orvel"])  # compared with the peers too
            self.assertEqual(base[1].command("s.orv", "o", 8, 6)[0], os.path.join(d, "orvel-mt"))


if __name__ == "__main__":
    unittest.main()
