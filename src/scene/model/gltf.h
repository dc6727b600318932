// glTF 2.0 models, read with tinygltf: .gltf files (JSON, with their buffers in data URIs or in
// files beside them) and .glb files (JSON and buffer in one). Every triangle primitive (triangles,
// strips and fans) of every mesh of the default scene (the first scene when none is named, every
// root node when the file has no scene) is taken, each with the transforms of its node and the
// node's ancestors. Positions and normals may be floats or, quantized, normalized or whole
// integers; sparse accessors are applied. Materials, textures (no image is read), skins and
// morph targets are not used.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scene/model/mesh.h"

// A file a glTF file names (a buffer), read whole; `error` says why it could not be, or is empty.
struct FetchedFile {
    std::vector<unsigned char> bytes;
    std::string error;
};
using FileFetcher = std::function<FetchedFile(const std::string& path)>;

// `directory` is where the file lies (empty for the working directory): its buffers' names are
// taken from there, then from the working directory.
ModelRead readGltf(ModelBytes bytes, bool binary, const std::string& directory, const FileFetcher& fetch);

// Whether the bytes begin with the magic of a binary glTF file.
bool looksLikeGlb(ModelBytes bytes);
// Whether the bytes begin as a JSON object does ('{' after any blanks).
bool looksLikeJson(ModelBytes bytes);
