// Reading a model file of any of the four formats: which format the bytes are in, and the
// reader for it. The format follows the contents where they say it (the magic of a binary glTF
// or a PLY file), then the name's extension (.obj, .ply, .stl, .gltf, .glb, in any case), then
// the contents again (the size of a binary STL file, "solid", a JSON object, an OBJ statement).
#pragma once

#include <optional>
#include <string_view>

#include "scene/model/gltf.h"
#include "scene/model/mesh.h"

enum class ModelFormat { obj, ply, stl, gltf, glb };

std::optional<ModelFormat> detectModelFormat(ModelBytes bytes, std::string_view name);

// The model in the bytes of the file `name`; a glTF file's buffers are fetched beside it.
// `threads` threads may share the reading.
ModelRead readModel(ModelBytes bytes, ModelFormat format, std::string_view name, const FileFetcher& fetch,
                    int threads);
