"""Model files written from a triangle mesh: PLY (ASCII, binary little- and big-endian), STL
(ASCII, binary), Wavefront OBJ and glTF 2.0 (.gltf with a .bin buffer beside it, or one .glb).
Standard library only; used by the benchmark (bench/scenes.py) and the gallery model
(tools/make-gallery-model).

A mesh is a list of vertices (x, y, z), a list of faces (index triples, from 0) and, optionally,
a list of vertex normals. Binary formats store 32-bit floats unless said otherwise, so the
vertices a renderer reads are the floats nearest to the given values; `float32` gives them.
"""

import base64
import json
import struct


def float32(x):
    """The value a 32-bit float holds for x, as a Python float."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def write_ply(path, vertices, faces, normals=None, encoding="binary_little_endian", double=False):
    kind = "double" if double else "float"
    names = ["x", "y", "z"] + (["nx", "ny", "nz"] if normals else [])
    header = ["ply", "format %s 1.0" % encoding, "comment written by tools/modelfiles.py",
              "element vertex %d" % len(vertices)]
    header += ["property %s %s" % (kind, n) for n in names]
    header += ["element face %d" % len(faces), "property list uchar int vertex_indices", "end_header"]
    with open(path, "wb") as f:
        f.write(("\n".join(header) + "\n").encode())
        if encoding == "ascii":
            rows = []
            for k, v in enumerate(vertices):
                values = list(v) + (list(normals[k]) if normals else [])
                rows.append(" ".join(repr(float(c)) for c in values))
            rows += ["3 %d %d %d" % tuple(face) for face in faces]
            f.write(("\n".join(rows) + "\n").encode())
            return
        order = "<" if encoding == "binary_little_endian" else ">"
        code = "d" if double else "f"
        vertex = struct.Struct(order + code * len(names))
        face = struct.Struct(order + "Biii")
        chunk = []
        for k, v in enumerate(vertices):
            chunk.append(vertex.pack(*(list(v) + (list(normals[k]) if normals else []))))
        f.write(b"".join(chunk))
        f.write(b"".join(face.pack(3, *tri) for tri in faces))


def write_stl(path, vertices, faces, normals=None, binary=True):
    """STL has no vertex normals: `normals` is there so that every writer is called alike."""
    if binary:
        record = struct.Struct("<12fH")
        with open(path, "wb") as f:
            f.write(b"binary STL written by tools/modelfiles.py".ljust(80, b" "))
            f.write(struct.pack("<I", len(faces)))
            f.write(b"".join(record.pack(0.0, 0.0, 0.0, *vertices[a], *vertices[b], *vertices[c], 0)
                             for a, b, c in faces))
        return
    lines = ["solid model"]
    for a, b, c in faces:
        lines += ["  facet normal 0 0 0", "    outer loop"]
        lines += ["      vertex %r %r %r" % tuple(float(x) for x in vertices[k]) for k in (a, b, c)]
        lines += ["    endloop", "  endfacet"]
    lines.append("endsolid model")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_obj(path, vertices, faces, normals=None, number=repr):
    """`number` writes a coordinate: by default with every digit the value needs."""
    lines = ["# written by tools/modelfiles.py"]
    lines += ["v %s %s %s" % tuple(number(float(x)) for x in v) for v in vertices]
    if normals:
        lines += ["vn %s %s %s" % tuple(number(float(x)) for x in n) for n in normals]
        lines += ["f %d//%d %d//%d %d//%d" % (a + 1, a + 1, b + 1, b + 1, c + 1, c + 1) for a, b, c in faces]
    else:
        lines += ["f %d %d %d" % (a + 1, b + 1, c + 1) for a, b, c in faces]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def gltf_parts(vertices, faces, normals=None):
    """The JSON document and the binary buffer of a glTF file holding the mesh."""
    blob = bytearray()
    blob += struct.pack("<%dI" % (3 * len(faces)), *[k for face in faces for k in face])
    indices_length = len(blob)
    blob += struct.pack("<%df" % (3 * len(vertices)), *[c for v in vertices for c in v])
    attributes = {"POSITION": 1}
    views = [{"buffer": 0, "byteOffset": 0, "byteLength": indices_length},
             {"buffer": 0, "byteOffset": indices_length, "byteLength": 12 * len(vertices)}]
    lo = [min(v[k] for v in vertices) for k in range(3)]
    hi = [max(v[k] for v in vertices) for k in range(3)]
    accessors = [{"bufferView": 0, "componentType": 5125, "count": 3 * len(faces), "type": "SCALAR"},
                 {"bufferView": 1, "componentType": 5126, "count": len(vertices), "type": "VEC3",
                  "min": lo, "max": hi}]
    if normals:
        views.append({"buffer": 0, "byteOffset": len(blob), "byteLength": 12 * len(normals)})
        blob += struct.pack("<%df" % (3 * len(normals)), *[c for n in normals for c in n])
        accessors.append({"bufferView": 2, "componentType": 5126, "count": len(normals), "type": "VEC3"})
        attributes["NORMAL"] = 2
    document = {"asset": {"version": "2.0", "generator": "tools/modelfiles.py"},
                "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [{"mesh": 0}],
                "meshes": [{"primitives": [{"attributes": attributes, "indices": 0}]}],
                "buffers": [{"byteLength": len(blob)}], "bufferViews": views, "accessors": accessors}
    return document, bytes(blob)


def write_gltf(path, vertices, faces, normals=None, embed=False):
    """A .gltf file with its buffer in a .bin file of the same name beside it, or, embedded, in
    a data URI."""
    document, blob = gltf_parts(vertices, faces, normals)
    if embed:
        document["buffers"][0]["uri"] = "data:application/octet-stream;base64," + \
            base64.b64encode(blob).decode()
    else:
        document["buffers"][0]["uri"] = path.rsplit("/", 1)[-1].rsplit(".", 1)[0] + ".bin"
        with open(path.rsplit(".", 1)[0] + ".bin", "wb") as f:
            f.write(blob)
    with open(path, "w") as f:
        json.dump(document, f)


def write_glb(path, vertices, faces, normals=None):
    document, blob = gltf_parts(vertices, faces, normals)
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    blob += b"\0" * (-len(blob) % 4)
    with open(path, "wb") as f:
        f.write(struct.pack("<4sII", b"glTF", 2, 12 + 8 + len(text) + 8 + len(blob)))
        f.write(struct.pack("<I4s", len(text), b"JSON") + text)
        f.write(struct.pack("<I4s", len(blob), b"BIN\0") + blob)


WRITERS = {"ply": write_ply, "stl": write_stl, "obj": write_obj, "gltf": write_gltf, "glb": write_glb}
