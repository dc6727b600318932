"""ORVEL, the ray tracer, from Python: a scene in, a picture out, in memory.

    import orvel
    picture = orvel.render(scene_text, width=640, height=480)
    picture.array        # NumPy uint8 array, height x width x 3, the library's own pixels
    picture.save("scene.png")

The module calls the C library liborvel through ctypes: it is plain Python, the same for every
Python 3, and the library's C interface (orvel.h) is all it relies on. ctypes releases the GIL
for the whole render, so other Python threads run meanwhile; the render itself runs in a thread
of its own while the calling thread waits, so that Ctrl-C (KeyboardInterrupt) reaches the caller,
which then cancels the render before its next row and raises KeyboardInterrupt.
"""

import ctypes
import os
import tempfile
import threading

import numpy

__all__ = ["render", "Picture", "SceneError", "RenderError", "Cancelled", "versions"]

_ARGUMENT, _SCENE, _RENDER, _WRITE, _CANCELLED = 1, 2, 3, 4, 5
_FORMATS = {"tga": 0, "bmp": 1, "ppm": 2, "png": 3, "jpg": 4, "jpeg": 4}
_ANTIALIAS = {"none": 1, "quick": 2, "adaptive": 3}
# How often the waiting caller looks for Ctrl-C, in seconds.
_WAKE = 0.05


class SceneError(Exception):
    """The scene cannot be read. .line is the scene line the message names (0 when none)."""

    def __init__(self, message, line=0):
        super().__init__(message if not line else "line %d: %s" % (line, message))
        self.message = message
        self.line = line


class RenderError(Exception):
    """The picture cannot be rendered or written (too large, memory short, a file not written)."""


class Cancelled(Exception):
    """The progress callback asked the render to stop."""


_PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_int)
_MESSAGE = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t)


class _Options(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("antialias", ctypes.c_int),
        ("threshold", ctypes.c_int),
        ("jitter", ctypes.c_int),
        ("has_seed", ctypes.c_int),
        ("seed", ctypes.c_uint64),
        ("threads", ctypes.c_int),
        ("queue_size", ctypes.c_int),
        ("directory", ctypes.c_char_p),
        ("progress", _PROGRESS),
        ("progress_user", ctypes.c_void_p),
        ("message", _MESSAGE),
        ("message_user", ctypes.c_void_p),
    ]


class _Error(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("status", ctypes.c_int),
        ("line", ctypes.c_int),
        ("message", ctypes.c_char * 1024),
    ]


class _Picture(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("row_bytes", ctypes.c_size_t),
        ("pixels", ctypes.POINTER(ctypes.c_ubyte)),
        ("jpeg_quality", ctypes.c_int),
    ]


_COUNTS = ("spheres", "rings", "planes", "cones", "cylinders", "discs", "polygons", "triangles",
           "patches", "surfaces", "lights", "primitives")


class _Statistics(ctypes.Structure):
    _fields_ = ([("size", ctypes.c_size_t)] + [(name, ctypes.c_long) for name in _COUNTS] +
                [("rays", ctypes.c_uint64), ("seconds", ctypes.c_double)])


class _Versions(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("major", ctypes.c_int),
        ("minor", ctypes.c_int),
        ("patch", ctypes.c_int),
        ("library", ctypes.c_char_p),
        ("libpng", ctypes.c_char_p),
        ("libjpeg", ctypes.c_char_p),
    ]


def _library_candidates():
    """Where liborvel may be: $ORVEL_LIBRARY, where make install put it, the loader's search."""
    if os.environ.get("ORVEL_LIBRARY"):
        yield os.environ["ORVEL_LIBRARY"]
    try:
        from ._installed import LIBRARY
        if LIBRARY:
            yield LIBRARY
    except ImportError:
        pass
    yield "liborvel.so.0"


def _load():
    error = None
    for candidate in _library_candidates():
        try:
            lib = ctypes.CDLL(candidate)
            break
        except OSError as e:
            error = e
    else:
        raise ImportError("liborvel cannot be loaded: %s" % error)
    picture_p = ctypes.POINTER(_Picture)
    signatures = {
        "orvel_options_init": [ctypes.POINTER(_Options)],
        "orvel_render_file": [ctypes.c_char_p, ctypes.POINTER(_Options), ctypes.POINTER(picture_p),
                              ctypes.POINTER(_Error)],
        "orvel_render_text": [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(_Options),
                              ctypes.POINTER(picture_p), ctypes.POINTER(_Error)],
        "orvel_picture_write": [picture_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.POINTER(_Error)],
        "orvel_picture_statistics": [picture_p, ctypes.POINTER(_Statistics)],
        "orvel_picture_free": [picture_p],
        "orvel_get_versions": [ctypes.POINTER(_Versions)],
    }
    for name, arguments in signatures.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = ctypes.c_int
    return lib


_lib = _load()


def versions():
    """The versions of liborvel, libpng and libjpeg, as a dict."""
    v = _Versions(size=ctypes.sizeof(_Versions))
    _lib.orvel_get_versions(ctypes.byref(v))
    return {"orvel": v.library.decode(), "libpng": v.libpng.decode(), "libjpeg": v.libjpeg.decode(),
            "major": v.major, "minor": v.minor, "patch": v.patch}


class _Pixels:
    """Owns the library's picture; the NumPy array's buffer keeps it alive, and it frees it."""

    def __init__(self, handle):
        self.handle = handle

    def __del__(self):
        if self.handle and _lib is not None:  # at interpreter exit the module may be gone
            _lib.orvel_picture_free(self.handle)
            self.handle = None


class Picture:
    """A rendered picture: .array (height x width x 3, uint8, read-only), .width, .height,
    .statistics (counts of the scene's objects, rays traced, seconds), .save(path)."""

    def __init__(self, handle):
        self._pixels = _Pixels(handle)
        p = handle.contents
        self.width, self.height = p.width, p.height
        address = ctypes.cast(p.pixels, ctypes.c_void_p).value
        buffer = (ctypes.c_ubyte * (p.row_bytes * p.height)).from_address(address)
        buffer._owner = self._pixels  # the memory lives as long as any array made from it
        self.array = numpy.frombuffer(buffer, dtype=numpy.uint8).reshape(p.height, p.width, 3)
        self.array.flags.writeable = False
        stats = _Statistics(size=ctypes.sizeof(_Statistics))
        _lib.orvel_picture_statistics(handle, ctypes.byref(stats))
        self.statistics = {name: getattr(stats, name) for name, _ in _Statistics._fields_[1:]}

    def save(self, path, quality=0):
        """Writes the picture; the format comes from the extension (.tga .bmp .ppm .png .jpg)."""
        path = os.fspath(path)
        extension = os.path.splitext(path)[1].lower().lstrip(".")
        if extension not in _FORMATS:
            raise ValueError("no image format named by the extension of %r" % path)
        error = _Error(size=ctypes.sizeof(_Error))
        status = _lib.orvel_picture_write(self._pixels.handle, os.fsencode(path), _FORMATS[extension], quality,
                                          ctypes.byref(error))
        if status == _ARGUMENT:
            raise ValueError(error.message.decode(errors="replace"))
        if status != 0:
            raise RenderError(error.message.decode(errors="replace"))

    def _repr_png_(self):
        with tempfile.TemporaryDirectory(prefix="orvel-") as directory:
            path = os.path.join(directory, "picture.png")
            self.save(path)
            with open(path, "rb") as f:
                return f.read()

    def __repr__(self):
        return "<orvel.Picture %d x %d>" % (self.width, self.height)


def _is_text(scene):
    """A str with a brace, a quote or a line end is scene text; any other str, bytes or path-like
    object names a file."""
    return isinstance(scene, str) and any(c in scene for c in '{"\n')


def _options(width, height, seed, threads, antialias, jitter, queue_size, directory):
    o = _Options()
    _lib.orvel_options_init(ctypes.byref(o))
    o.width = width or 0
    o.height = height or 0
    if seed is not None:
        o.has_seed, o.seed = 1, seed
    o.threads = threads or 0
    if isinstance(antialias, bool) or not isinstance(antialias, (type(None), str, int)):
        raise ValueError("antialias must be None, 'none', 'quick', 'adaptive' or a threshold")
    if isinstance(antialias, str):
        if antialias not in _ANTIALIAS:
            raise ValueError("antialias must be None, 'none', 'quick', 'adaptive' or a threshold")
        o.antialias = _ANTIALIAS[antialias]
    elif isinstance(antialias, int):
        o.antialias, o.threshold = _ANTIALIAS["adaptive"], antialias
    if jitter is not None:
        o.jitter = 1 if jitter else 2
    o.queue_size = queue_size or 0
    if directory is not None:
        o.directory = os.fsencode(directory)
    return o


def render(scene, width=None, height=None, seed=None, threads=None, antialias=None, progress=None, *,
           jitter=None, queue_size=None, directory=None, messages=None):
    """Renders a scene into a Picture.

    scene: scene text (a str with a brace, a quote or a line end), or the path of a scene file.
    width, height: picture size (None: the scene's). seed: seeded random sampling (an int).
    threads: 1 (one band, as orvel) or 2, 4, 8 bands (as orvel-mt -t N).
    antialias: None (the scene's), 'none', 'quick', 'adaptive' (the scene's threshold), or a
    threshold 1 to 255 (adaptive, as -aaa N). jitter: None (the scene's), True or False.
    progress: called as progress(rows_done, rows_total) after each row; a true result stops the
    render, which raises Cancelled. directory: where relative includes are looked up (None: the
    working directory). messages: called with each piece of the text the command line prints.

    Raises SceneError (with .line and .message), RenderError, Cancelled, ValueError for options
    out of range, and KeyboardInterrupt when Ctrl-C cancels the render.
    """
    options = _options(width, height, seed, threads, antialias, jitter, queue_size, directory)
    stop = threading.Event()
    raised = []

    def on_progress(_user, done, total):
        if stop.is_set():
            return 1
        if progress is None:
            return 0
        try:
            return 1 if progress(done, total) else 0
        except BaseException as e:  # the render stops, the caller sees the exception
            raised.append(e)
            return 1

    def on_message(_user, _stream, text, length):
        if messages is not None:
            try:
                messages(ctypes.string_at(text, length).decode("latin-1"))
            except BaseException as e:
                raised.append(e)
                stop.set()

    options.progress = _PROGRESS(on_progress)
    options.message = _MESSAGE(on_message)
    handle = ctypes.POINTER(_Picture)()
    error = _Error(size=ctypes.sizeof(_Error))
    result = []

    def run():
        if _is_text(scene):
            data = scene.encode("utf-8")
            result.append(_lib.orvel_render_text(data, len(data), ctypes.byref(options), ctypes.byref(handle),
                                                 ctypes.byref(error)))
        else:
            result.append(_lib.orvel_render_file(os.fsencode(scene), ctypes.byref(options), ctypes.byref(handle),
                                                 ctypes.byref(error)))

    worker = threading.Thread(target=run, name="orvel render")
    worker.start()
    try:
        while worker.is_alive():
            worker.join(_WAKE)
    except KeyboardInterrupt:
        stop.set()
        worker.join()
        if handle:
            _lib.orvel_picture_free(handle)
        raise
    status = result[0]
    if raised:
        if handle:
            _lib.orvel_picture_free(handle)
        raise raised[0]
    message = error.message.decode(errors="replace")
    if status == 0:
        return Picture(handle)
    if status == _SCENE:
        raise SceneError(message, error.line)
    if status == _CANCELLED:
        raise Cancelled("the render was cancelled")
    if status == _ARGUMENT:
        raise ValueError(message)
    raise RenderError(message)
