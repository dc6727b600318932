#include "scene/mesh_block.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/console.h"
#include "base/memory.h"
#include "base/tasks.h"
#include "objects/primitives/patch.h"
#include "objects/primitives/triangle.h"
#include "scene/lexer.h"
#include "scene/model/model.h"
#include "scene/model/model_file.h"
#include "scene/model/placement.h"
#include "scene/parse_state.h"

namespace {

// The longest model file name the block takes.
constexpr std::size_t maxPathLength = 4095;
// The number mode in which the lexer reads decimals.
constexpr char decimalMode = 2;

// `file "PATH"`: the name is every character between the two double quotes, on one line.
std::string readPath(FILE* file) {
    if (Lire_MotCle(file) != tokQuote) yyerror(" string expected");
    std::string path;
    for (int ch = std::getc(file); ch != '"'; ch = std::getc(file)) {
        if (ch == EOF || ch == '\n') yyerror(" '\"' string delimiter expected");
        if (ch == '\0') yyerror(" mesh file name holds a NUL character");
        if (path.size() == maxPathLength) yyerror(" mesh file name longer than 4095 characters");
        path += static_cast<char>(ch);
    }
    if (path.empty()) yyerror(" mesh file name cannot be empty");
    return path;
}

double readComponent(FILE* file, const char* message) {
    if (Lire_MotCle(file) != tokNumber) yyerror(message);
    if (!std::isfinite(val_DBL)) yyerror((std::string(" number out of range: ") + chaine).c_str());
    return val_DBL;
}

// `scale s` or `scale <x y z>`; no component may be 0.
Vector readScale(FILE* file) {
    type_motcle = decimalMode;
    Vector scale{};
    const int token = Lire_MotCle(file);
    if (token == tokNumber) {
        if (!std::isfinite(val_DBL)) yyerror((std::string(" number out of range: ") + chaine).c_str());
        scale = {val_DBL, val_DBL, val_DBL};
    } else if (token == tokOpenAngle) {
        scale.x = readComponent(file, " x component expected");
        scale.y = readComponent(file, " y component expected");
        scale.z = readComponent(file, " z componente expected");
        if (Lire_MotCle(file) != tokCloseAngle) yyerror(" Closing bracket '>' expected after z component");
    } else {
        yyerror(" mesh scale expects a number or a vector <x y z>");
    }
    if (scale.x == 0.0 || scale.y == 0.0 || scale.z == 0.0) yyerror(" mesh scale cannot be 0");
    return scale;
}

struct MeshBlock {
    std::string path;
    int fileLine = 0;  // where `file` stands: model errors name this line
    int files = 0;
    Placement placement;
    Shading shading = Shading::asFile;
};

MeshBlock readBlock(FILE* file) {
    MeshBlock block;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwScale:
                block.placement.scale = readScale(file);
                block.placement.scaled = true;
                break;
            case kwRotate:
                Lire_Vecteur(file);
                block.placement.rotate = vect_tmp;
                break;
            case kwMove:
                Lire_Vecteur(file);
                block.placement.move = vect_tmp;
                block.placement.moved = true;
                break;
            case tokWord:
                // file, smooth and flat are plain words: only this block gives them a meaning.
                if (std::strcmp(chaine, "file") == 0) {
                    block.fileLine = comptligne;
                    block.path = readPath(file);
                    ++block.files;
                    break;
                }
                if (std::strcmp(chaine, "smooth") == 0 || std::strcmp(chaine, "flat") == 0) {
                    block.shading = chaine[0] == 's' ? Shading::smooth : Shading::flat;
                    break;
                }
                [[fallthrough]];
            default: yyerror(" Unkown parameter in mesh structure");
        }
    }
    if (block.files != 1) yyerror(" mesh file must be given exactly once");
    return block;
}

[[noreturn]] void modelFailure(const MeshBlock& block, const std::string& name, const std::string& what) {
    yyerrorAt(block.fileLine, (" mesh file " + name + ": " + what).c_str());
}

// The model file: taken from the working directory, or, for a relative name that does not open
// there, from beside the file holding the block. *name becomes the name it was read by.
ModelFile openModel(const MeshBlock& block, const char* holder, std::string* name) {
    *name = block.path;
    ModelFile file = modelFileReader(name->c_str());
    const char* slash = std::strrchr(holder, '/');
    if (!file.unopened || block.path[0] == '/' || !slash) return file;
    std::string beside = std::string(holder, slash + 1) + block.path;
    ModelFile there = modelFileReader(beside.c_str());
    if (there.unopened) return file;
    *name = std::move(beside);
    return there;
}

FetchedFile fetchBuffer(const std::string& path) {
    ModelFile file = modelFileReader(path.c_str());
    return {std::move(file.bytes), std::move(file.error)};
}

// The records of the mesh, in the order of its triangles.
void makeRecords(const ModelMesh& mesh, const MeshPlan& plan) {
    const Surface& current = *surface;
    const auto finish = [&](Object* made, int& counter) {
        if (!made) yyerror(" memory allocation failed");
        object = made;
        setSurfaceAttrib(made, current.color, current.ambient, current.diffuse, current.brilliance,
                         current.specular, current.roughness, current.reflection, current.refraction,
                         current.refractionIndex, current.reflectionType, current.reflectionSamples,
                         current.reflectionRadius);
        ++counter;
    };
    for (std::size_t t = 0; t < plan.pieces.size(); ++t) {
        const Vector* corner[3] = {&mesh.positions[mesh.corners[3 * t]],
                                   &mesh.positions[mesh.corners[3 * t + 1]],
                                   &mesh.positions[mesh.corners[3 * t + 2]]};
        if (plan.pieces[t] == Piece::triangle) {
            FreeBuffer<Vector[]> vertices(static_cast<Vector*>(std::malloc(3 * sizeof(Vector))));
            if (!vertices) yyerror(" memory allocation failed");
            for (int k = 0; k < 3; ++k) vertices[k] = *corner[k];
            Object* made = makeTriangle(vertices.get());
            if (made) static_cast<void>(vertices.release());  // the triangle freed them
            finish(made, iNumTriangle);
        } else if (plan.pieces[t] == Piece::patch) {
            Vector normals[3];
            patchNormals(mesh, plan, t, normals);
            Vector data[6] = {*corner[0], normals[0], *corner[1], normals[1], *corner[2], normals[2]};
            finish(makePatch(data), iNumPatch);
        }
    }
}

// Where the triangles made lie once placed: ", from <x y z> to <x y z>" (nothing when none was).
std::string extent(const ModelMesh& mesh, const MeshPlan& plan) {
    Vector lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi = -lo;
    for (std::size_t t = 0; t < plan.pieces.size(); ++t) {
        if (plan.pieces[t] == Piece::skipped) continue;
        for (int k = 0; k < 3; ++k) {
            const Vector v = mesh.positions[mesh.corners[3 * t + k]];
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
    }
    if (lo.x > hi.x) return {};
    char text[160];
    std::snprintf(text, sizeof text, ", from <%g %g %g> to <%g %g %g>", lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
    return text;
}

// The model's arrays go back to the system when the block ends. glibc would otherwise raise the
// size from which it maps blocks of its own as it sees them freed, and keep the large arrays of
// the hierarchy build that follows in its heap, where a freed block stays in the process.
void keepLargeBlocksMapped() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace

void yy_mesh(FILE* file, const char* holder) {
    const MeshBlock block = readBlock(file);
    keepLargeBlocksMapped();
    std::string name;
    ModelFile model = openModel(block, holder, &name);
    if (!model.ok()) modelFailure(block, name, model.error);
    const ModelBytes bytes(model.bytes.data(), model.bytes.size());
    const std::optional<ModelFormat> format = detectModelFormat(bytes, name);
    if (!format) {
        modelFailure(
            block, name,
            "not an OBJ, PLY, STL or glTF file (neither its contents nor its name's extension say which)");
    }
    ModelRead read = readModel(bytes, *format, name, fetchBuffer, buildThreads);
    model = ModelFile{};  // the bytes are no longer needed
    if (!read.ok()) modelFailure(block, name, describeModelError(read.error));
    ModelMesh& mesh = read.mesh;
    if (!placeMesh(mesh, block.placement, buildThreads)) {
        modelFailure(block, name, "a vertex is no longer a finite number once scaled, rotated and moved");
    }
    const MeshPlan plan = planMesh(mesh, block.shading, buildThreads);
    makeRecords(mesh, plan);
    consolePrint("\n Mesh %s: %zu triangle(s), %zu patch(es), %llu face(s) skipped%s", name.c_str(),
                 plan.triangles, plan.patches,
                 static_cast<unsigned long long>(plan.skipped + mesh.droppedFaces),
                 extent(mesh, plan).c_str());
}
