"""The Python module as a session meets it: the command line's pictures as arrays, the errors as
exceptions, cancel by the callback and by Ctrl-C, the GIL free while rendering, the example.

Run by ctest with ORVEL_LIBRARY (the built library), ORVEL_BINARY_DIR (the built programs) and
ORVEL_SOURCE_DIR set, and the module's folder on PYTHONPATH.
"""

import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import numpy

import orvel

SOURCE = os.environ["ORVEL_SOURCE_DIR"]
BINARY = os.environ["ORVEL_BINARY_DIR"]
SCENES = os.path.join(SOURCE, "scenes")
BALL = """camera { position <0 -10 3> look_at <0 0 1> }
settings { resolution 32 24 output_type "png" output_name "ball" }
light { position <-5 -8 10> color 1 1 1 attenuation_type "none" }
surface { color 0.6 0.6 0.6 ambient 0.2 diffuse 0.8 }
plane { normal <0 0 1> distance 0 }
surface { color 0.9 0.2 0.1 ambient 0.2 diffuse 0.8 specular 0.5 roughness 30 }
sphere { center <0 0 1> radius 1 }
"""


def command_line(scene, *options, extension="ppm"):
    """What orvel writes for the scene (run from the scenes folder): the file's bytes."""
    with tempfile.TemporaryDirectory() as directory:
        out = os.path.join(directory, "cli")
        subprocess.run([os.path.join(BINARY, "orvel"), "-i", scene, "-o", out, "-" + extension] + list(options),
                       cwd=SCENES, stdout=subprocess.DEVNULL, check=True)
        with open(out + "." + extension, "rb") as f:
            return f.read()


def ppm_pixels(data):
    """The pixels of a binary PPM, after its three header lines."""
    at = 0
    for _ in range(3):
        at = data.index(b"\n", at) + 1
    return data[at:]


def slow_scene():
    """A scene that takes a good part of a second: many spheres, adaptive anti-aliasing."""
    spheres = "".join("sphere { center <%d %d %d> radius 0.4 }\n" % (x, y, z)
                      for x in range(-6, 7) for y in range(0, 13) for z in range(0, 8))
    return BALL.replace("resolution 32 24", 'resolution 320 240 antialiasing "adaptive" aa_distance 1') + spheres


class Pictures(unittest.TestCase):
    def test_every_example_scene_gives_the_command_lines_pixels(self):
        for name in sorted(os.listdir(SCENES)):
            if not name.endswith(".orv") or name == "palette.orv":  # palette is for including
                continue
            with self.subTest(name):
                picture = orvel.render(os.path.join(SCENES, name), width=40, height=30)
                self.assertEqual(picture.array.shape, (30, 40, 3))
                self.assertEqual(picture.array.dtype, numpy.uint8)
                self.assertEqual(picture.array.tobytes(), ppm_pixels(command_line(name, "-r", "40", "30")))
        seeded = orvel.render(os.path.join(SCENES, "materials.orv"), width=40, height=30, seed=7, threads=4,
                              antialias=8)
        cli = ppm_pixels(command_line("materials.orv", "-r", "40", "30", "--seed", "7", "-aaa", "8"))
        self.assertEqual(seeded.array.tobytes(), cli)

    def test_the_array_is_the_librarys_memory_and_outlives_the_picture(self):
        picture = orvel.render(BALL)
        array = picture.array
        self.assertFalse(array.flags.owndata)
        self.assertFalse(array.flags.writeable)
        expected = array.copy()
        del picture
        self.assertTrue(numpy.array_equal(array, expected))

    def test_save_and_notebook_display(self):
        picture = orvel.render(os.path.join(SCENES, "primitives.orv"), width=40, height=30)
        with tempfile.TemporaryDirectory() as directory:
            picture.save(os.path.join(directory, "p.png"))
            with open(os.path.join(directory, "p.png"), "rb") as f:
                self.assertEqual(f.read(), command_line("primitives.orv", "-r", "40", "30", extension="png"))
        self.assertTrue(picture._repr_png_().startswith(b"\x89PNG\r\n\x1a\n"))
        with self.assertRaises(ValueError):
            picture.save("picture.gif")


class Errors(unittest.TestCase):
    def test_scene_errors_carry_line_and_message(self):
        cases = [
            ("camera { position <0 0 x> }", 1, "z componente expected"),
            ("\n\nsphere { center <0 0 0> radius 1 } blob", 3, "Unkown term"),
            ('include "nowhere.orv"', 0, "Scene file: nowhere.orv could no be opened"),
            (os.path.join(SCENES, "nowhere.orv"), 0, "Scene file: %s could no be opened"
             % os.path.join(SCENES, "nowhere.orv")),
        ]
        for scene, line, message in cases:
            with self.subTest(scene):
                with self.assertRaises(orvel.SceneError) as caught:
                    orvel.render(scene)
                self.assertEqual((caught.exception.line, caught.exception.message), (line, message))
        self.assertEqual(orvel.render(BALL).array.shape, (24, 32, 3))  # and the session goes on

    def test_options_and_sizes(self):
        with self.assertRaisesRegex(ValueError, "threads must be 1, 2, 4 or 8"):
            orvel.render(BALL, threads=3)
        with self.assertRaisesRegex(orvel.RenderError, "at most 65535 pixels a side"):
            orvel.render(BALL, width=70000)


class Cancel(unittest.TestCase):
    def test_the_progress_callback_cancels(self):
        rows = []
        with self.assertRaises(orvel.Cancelled):
            orvel.render(BALL, threads=2, progress=lambda done, total: rows.append(done) or done == 5)
        self.assertEqual(rows, [1, 2, 3, 4, 5])

    def test_an_exception_in_the_callback_ends_the_render_and_reaches_the_caller(self):
        class Stop(Exception):
            pass

        def fail(done, total):
            raise Stop()

        with self.assertRaises(Stop):
            orvel.render(BALL, progress=fail)

    def test_ctrl_c_cancels_and_raises_keyboard_interrupt(self):
        rows = []

        def interrupt_once(done, total):
            rows.append(done)
            if done == 3:
                os.kill(os.getpid(), signal.SIGINT)

        started = time.monotonic()
        with self.assertRaises(KeyboardInterrupt):
            orvel.render(slow_scene(), progress=interrupt_once)
        self.assertLess(len(rows), 240)  # stopped well before the last row
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(orvel.render(BALL).array.shape, (24, 32, 3))

    def test_other_threads_run_while_rendering(self):
        ticks = []
        done = threading.Event()

        def count():
            while not done.is_set():
                ticks.append(1)
                time.sleep(0.001)

        counter = threading.Thread(target=count)
        counter.start()
        before = len(ticks)
        orvel.render(slow_scene())
        during = len(ticks) - before
        done.set()
        counter.join()
        self.assertGreater(during, 5)


class Example(unittest.TestCase):
    def test_the_spheres_example_runs(self):
        with tempfile.TemporaryDirectory() as directory:
            out = os.path.join(directory, "spheres.png")
            run = subprocess.run([sys.executable, os.path.join(SOURCE, "examples", "spheres.py"), "--side", "6",
                                  "--size", "80", "60", "--output", out], capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("216 spheres", run.stdout)
            with open(out, "rb") as f:
                self.assertTrue(f.read().startswith(b"\x89PNG"))


if __name__ == "__main__":
    unittest.main()
