"""The renderers the benchmark drives, how each is invoked, and measured runs.

Every renderer writes a binary PPM into a temporary directory, with anti-aliasing off and
nothing else to do that orvel does not do: POV-Ray without display, preview or gamma encoding,
Tachyon with Phong highlights like orvel's. A run is measured with wait4(): wall seconds, CPU
seconds (user + system) and the peak resident set of the renderer process.
"""

import os
import shutil
import signal
import struct
import subprocess
import threading
import time
import zlib


class Renderer:
    """One renderer configuration: a label for the table, the scene file type it reads, the
    thread count it uses, and a function that builds its command line."""

    def __init__(self, label, family, ext, threads, command):
        self.label, self.family, self.ext, self.threads = label, family, ext, threads
        self._command = command

    def command(self, scene_path, out_base, width, height, extra=()):
        return self._command(scene_path, out_base, width, height, list(extra))

    def output(self, out_base):
        return out_base + ".ppm"


def orvel_renderers(orvel_dir, thread_counts=(2, 8), tag=""):
    """orvel (one thread) and orvel-mt with each thread count, if they are built; `tag` goes
    before their labels (another build of orvel beside the one measured)."""
    found = []
    single = os.path.join(orvel_dir, "orvel")
    multi = os.path.join(orvel_dir, "orvel-mt")
    if os.access(single, os.X_OK):
        found.append(Renderer(tag + "orvel", "orvel", "orv", 1,
                              lambda s, o, w, h, x: [single, "-i", s, "-o", o, "-ppm",
                                                     "-r", str(w), str(h)] + x))
    if os.access(multi, os.X_OK):
        for n in thread_counts:
            found.append(Renderer(tag + "orvel-mt -t %d" % n, "orvel", "orv", n,
                                  lambda s, o, w, h, x, n=n: [multi, "-i", s, "-o", o, "-ppm",
                                                              "-r", str(w), str(h),
                                                              "-t", str(n)] + x))
    return found


# Debian's Open MPI tries the Omni-Path transports while it picks one, about 0.2 s per job on a
# machine without that hardware; a job on one machine names the shared-memory one (ob1).
MPIRUN_ARGS = "--mca pml ob1"


def orvel_mpi_renderers(orvel_dir, rank_counts=(2,), mpirun_args=MPIRUN_ARGS):
    """orvel-mpi on each rank count (one render thread per rank), run through mpirun with the
    given mpirun options, if it is built and mpirun is installed. The whole job is measured,
    mpirun's start included."""
    exe = os.path.join(orvel_dir, "orvel-mpi")
    mpirun = shutil.which("mpirun")
    if not mpirun or not os.access(exe, os.X_OK):
        return []
    # Open MPI refuses root without --allow-run-as-root and more ranks than cores without
    # --oversubscribe.
    launch = [mpirun] + (["--allow-run-as-root"] if os.geteuid() == 0 else []) + mpirun_args.split()

    def make(n):
        extra = ["--oversubscribe"] if n > (os.cpu_count() or 1) else []
        return lambda s, o, w, h, x: launch + extra + ["-np", str(n), exe, "-i", s, "-o", o, "-ppm",
                                                       "-r", str(w), str(h)] + x
    return [Renderer("orvel-mpi -np %d" % n, "orvel", "orv", n, make(n)) for n in rank_counts]


def povray_renderers(thread_counts=(1, 2)):
    exe = shutil.which("povray")
    if not exe:
        return []

    def make(n):
        # -A no anti-aliasing, -D no display, -P no pause, +FP PPM, linear file gamma (orvel
        # writes linear values), -V quiet; radiosity is off unless a scene asks for it.
        return lambda s, o, w, h, x: [exe, "+I" + s, "+O" + o + ".ppm", "+FP", "+W%d" % w,
                                      "+H%d" % h, "-A", "-D", "-P", "-V", "+WT%d" % n,
                                      "File_Gamma=1.0"] + x
    return [Renderer("povray +WT%d" % n, "povray", "pov", n, make(n)) for n in thread_counts]


def tachyon_renderers(thread_counts=(1, 2)):
    exe = shutil.which("tachyon")
    if not exe:
        return []

    def make(n):
        # The scene file sets the size, ANTIALIASING 0 and RAYDEPTH 6; Phong highlights are
        # orvel's kind (Tachyon's default is Blinn).
        return lambda s, o, w, h, x: [exe, s, "-o", o + ".ppm", "-format", "PPM",
                                      "-numthreads", str(n), "-aasamples", "0",
                                      "-shade_phong"] + x
    return [Renderer("tachyon -numthreads %d" % n, "tachyon", "dat", n, make(n))
            for n in thread_counts]


class Result:
    def __init__(self, status, wall, cpu, maxrss_kib, log, timed_out=False):
        self.status, self.wall, self.cpu, self.maxrss_kib = status, wall, cpu, maxrss_kib
        self.log, self.timed_out = log, timed_out

    @property
    def ok(self):
        return self.status == 0 and not self.timed_out


TIME = shutil.which("time", path="/usr/bin:/bin")


def run_measured(cmd, log_path, cwd=None, timeout=None):
    """Run one command with its output in log_path; measure wall and CPU time with wait4().

    The peak memory comes from /usr/bin/time when it is there: a child forked from this
    Python process would inherit its peak (about 20 MiB) as a floor, a child forked from
    time(1) does not.
    """
    stats = log_path + ".time"
    full = ([TIME, "-f", "%M", "-o", stats] if TIME else []) + list(cmd)
    with open(log_path, "wb") as log:
        log.write((" ".join(cmd) + "\n").encode())
        log.flush()
        start = time.perf_counter()
        # A session of its own, so that a timeout can end time(1) and the renderer together.
        proc = subprocess.Popen(full, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, cwd=cwd, start_new_session=True)
        expired = threading.Event()

        def stop():
            # End the renderer; time(1) then reaps it and exits. Only if the renderer cannot
            # be found, end the whole session this run started.
            expired.set()
            try:
                with open("/proc/%d/task/%d/children" % (proc.pid, proc.pid)) as f:
                    children = [int(c) for c in f.read().split()]
            except OSError:
                children = []
            try:
                for child in children:
                    os.kill(child, signal.SIGKILL)
                if not children or not TIME:
                    os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        timer = threading.Timer(timeout, stop) if timeout else None
        if timer:
            timer.start()
        _, status, usage = os.wait4(proc.pid, 0)
        if timer:
            timer.cancel()
        timed_out = expired.is_set()
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
    maxrss = usage.ru_maxrss
    if TIME:
        try:
            with open(stats) as f:
                maxrss = int(f.read().split()[-1])
        except (OSError, ValueError, IndexError):
            pass
    return Result(proc.returncode, wall, usage.ru_utime + usage.ru_stime, maxrss,
                  log_path, timed_out)


# ---------------------------------------------------------------------------------------------
# Images

def read_ppm(path):
    """(width, height, bytes of RGB triples) of a binary PPM; 16-bit samples keep their
    high byte. Comment lines in the header are skipped."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"P6":
        raise ValueError("%s: not a binary PPM" % path)
    fields, i = [], 2
    while len(fields) < 3:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            i = data.index(b"\n", i)
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(int(data[i:j]))
        i = j
    width, height, maxval = fields
    pixels = data[i + 1:]
    if maxval > 255:
        pixels = pixels[0::2]
    if len(pixels) < width * height * 3:
        raise ValueError("%s: truncated PPM" % path)
    return width, height, pixels[:width * height * 3]


def write_png(path, width, height, pixels):
    """Write RGB bytes as an 8-bit PNG."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    stride = width * 3
    raw = b"".join(b"\0" + bytes(pixels[y * stride:(y + 1) * stride]) for y in range(height))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def montage(images, gap=4):
    """Place same-sized images side by side on a grey strip: (width, height, bytes)."""
    w, h = images[0][0], images[0][1]
    total = w * len(images) + gap * (len(images) - 1)
    out = bytearray(b"\x40" * (total * h * 3))
    for k, (_, _, px) in enumerate(images):
        x0 = k * (w + gap)
        for y in range(h):
            out[(y * total + x0) * 3:(y * total + x0 + w) * 3] = px[y * w * 3:(y + 1) * w * 3]
    return total, h, bytes(out)
