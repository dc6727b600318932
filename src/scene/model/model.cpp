#include "scene/model/model.h"

#include <algorithm>
#include <string>

#include "scene/model/obj.h"
#include "scene/model/ply.h"
#include "scene/model/stl.h"

namespace {

std::string lowerExtension(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(name.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; });
    return extension;
}

}  // namespace

std::optional<ModelFormat> detectModelFormat(ModelBytes bytes, std::string_view name) {
    if (looksLikeGlb(bytes)) return ModelFormat::glb;
    if (looksLikePly(bytes)) return ModelFormat::ply;
    const std::string extension = lowerExtension(name);
    if (extension == ".obj") return ModelFormat::obj;
    if (extension == ".ply") return ModelFormat::ply;
    if (extension == ".stl") return ModelFormat::stl;
    if (extension == ".gltf") return ModelFormat::gltf;
    if (extension == ".glb") return ModelFormat::glb;
    if (looksLikeBinaryStl(bytes) || looksLikeAsciiStl(bytes)) return ModelFormat::stl;
    if (looksLikeJson(bytes)) return ModelFormat::gltf;
    if (looksLikeObj(bytes)) return ModelFormat::obj;
    return std::nullopt;
}

ModelRead readModel(ModelBytes bytes, ModelFormat format, std::string_view name, const FileFetcher& fetch,
                    int threads) {
    switch (format) {
        case ModelFormat::obj: return readObj(bytes, threads);
        case ModelFormat::ply: return readPly(bytes, threads);
        case ModelFormat::stl: return readStl(bytes, threads);
        case ModelFormat::gltf:
        case ModelFormat::glb: {
            const std::size_t slash = name.find_last_of('/');
            const std::string directory(slash == std::string_view::npos ? std::string_view()
                                                                        : name.substr(0, slash + 1));
            return readGltf(bytes, format == ModelFormat::glb, directory, fetch);
        }
    }
    return modelError("unknown format");
}
