#include "scene/parser.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/console.h"
#include "base/fatal.h"
#include "base/memory.h"
#include "objects/hierarchy/bound.h"
#include "scene/blocks.h"
#include "scene/colors.h"
#include "scene/lexer.h"
#include "scene/mesh_block.h"
#include "scene/object_blocks.h"
#include "scene/parse_state.h"
#include "shading/light.h"

Surface* surface = nullptr;
Object* object = nullptr;

short c = 0;
short s = 0;
short su = 0;
short l = 0;

int iNumSphere = 0;
int iNumRing = 0;
int iNumPlane = 0;
int iNumCone = 0;
int iNumCylinder = 0;
int iNumDisc = 0;
int iNumPolygone = 0;
int iNumTriangle = 0;
int iNumPatch = 0;
int iNumSurface = 0;
int iNumLight = 0;

namespace {

FILE* openForReading(const char* name) { return std::fopen(name, "r"); }

}  // namespace

bool widthOnCommandLine = false;
bool heightOnCommandLine = false;

FILE* (*sceneFileOpener)(const char* name) = openForReading;

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using SceneFile = std::unique_ptr<FILE, FileCloser>;

// Files open in the include chain right now.
int includeDepth = 0;

struct IncludeLevel {
    IncludeLevel() { ++includeDepth; }
    ~IncludeLevel() { --includeDepth; }
    IncludeLevel(const IncludeLevel&) = delete;
    IncludeLevel& operator=(const IncludeLevel&) = delete;
};

// The current surface and the declared colours live while parseFile runs, however it ends.
struct ParseScratch {
    ParseScratch() = default;
    ~ParseScratch() {
        std::free(surface);
        surface = nullptr;
        freeColorList(&myColorList);
    }
    ParseScratch(const ParseScratch&) = delete;
    ParseScratch& operator=(const ParseScratch&) = delete;
};

void resetCounters() {
    c = s = su = l = 0;
    iNumSphere = iNumRing = iNumPlane = iNumCone = iNumCylinder = iNumDisc = 0;
    iNumPolygone = iNumTriangle = iNumPatch = iNumSurface = iNumLight = 0;
}

void printStatistics() {
    consolePrint("\n\n Number of sphere(s):\t\t%d\n", iNumSphere);
    consolePrint(" Number of ring(s):\t\t%d\n", iNumRing);
    consolePrint(" Number of plane(s):\t\t%d\n", iNumPlane);
    consolePrint(" Number of cone(s):\t\t%d\n", iNumCone);
    consolePrint(" Number of cylinder(s):\t\t%d\n", iNumCylinder);
    consolePrint(" Number of disc(s):\t\t%d\n", iNumDisc);
    consolePrint(" Number of polygon(s):\t\t%d\n", iNumPolygone);
    consolePrint(" Number of triangle(s):\t\t%d\n", iNumTriangle);
    consolePrint(" Number of patch(es):\t\t%d\n", iNumPatch);
    consolePrint(" Number of surface(s):\t\t%d\n", iNumSurface);
    consolePrint(" Number of light(s):\t\t%d\n", iNumLight);
}

int parseSceneFile(const char* name, const char* includer);

// `include "name"`: the name is taken out of strTemp before the included file overwrites it.
void includeFile(FILE* file, const char* includer) {
    Lire_Chaine(file);
    char name[sizeof strTemp];
    std::strcpy(name, strTemp);
    parseSceneFile(name, includer);
}

// Opens a scene file by its name, taken from the working directory. An included file that is not
// there is looked for next in the directory of the file that includes it; *path receives the
// name that opened.
SceneFile openSceneFile(const char* name, const char* includer, std::string* path) {
    *path = name;
    SceneFile file(sceneFileOpener(name));
    if (file || !includer || name[0] == '/') return file;
    const char* slash = std::strrchr(includer, '/');
    if (!slash) return file;
    *path = std::string(includer, slash + 1) + name;
    file.reset(sceneFileOpener(path->c_str()));
    return file;
}

// Reads one file and everything it includes; includer is the file whose include named it.
int parseSceneFile(const char* name, const char* includer) {
    if (includeDepth == maxIncludeDepth) yyerror(" include chain deeper than 64 files");
    std::string path;
    const SceneFile file = openSceneFile(name, includer, &path);
    if (!file) {
        consolePrint("\n Scene file: %s could no be opened\n", name);
        abortRun(-1);
    }
    // A directory opens for reading on Linux but reads as nothing at all.
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) {
        consolePrint("\n Scene file: %s is a directory\n", path.c_str());
        abortRun(-1);
    }
    const IncludeLevel level;
    FILE* in = file.get();
    std::setvbuf(in, nullptr, _IOFBF, 1 << 16);
    consolePrint("\n Parsing %s", path.c_str());

    for (int token = Lire_MotCle(in); token != tokEnd; token = Lire_MotCle(in)) {
        switch (token) {
            case kwInclude: includeFile(in, path.c_str()); break;
            case kwDeclare: yy_declare(in); break;
            case kwCamera:
                yy_camera(in);
                ++c;
                break;
            case kwLight:
                yy_light(in);
                ++l;
                break;
            case kwSettings:
                yy_settings(in);
                ++s;
                break;
            case kwSurface:
                yy_surface(in);
                ++su;
                break;
            case kwPlane: yy_plane(in); break;
            case kwSphere: yy_sphere(in); break;
            case kwCone: yy_cone(in); break;
            case kwRing: yy_ring(in); break;
            case kwDisc: yy_disc(in); break;
            case kwPolygon: yy_polygon(in); break;
            case kwCylinder: yy_cylindre(in); break;
            case kwTriangle: yy_triangle(in); break;
            case kwPatch:
            case kwSmoothTriangle: yy_patch(in); break;
            case kwMesh: yy_mesh(in, path.c_str()); break;
            default:
                consolePrint("\n Scene parser returned error: %d '%s'\n", token, chaine);
                yyerror(" Unkown term");
        }
    }
    return 0;
}

}  // namespace

int parseScene(const char* name) { return parseSceneFile(name, nullptr); }

void yy_declare(FILE* file) {
    Lire_Chaine(file);
    if (std::strlen(strTemp) > maxColorNameLength) yyerror(" color name longer than 63 characters");
    if (Lire_MotCle(file) != kwColor) yyerror(" Unkown element in declaration");
    FreeBuffer<ColorEntry> entry(static_cast<ColorEntry*>(std::calloc(1, sizeof(ColorEntry))));
    if (!entry) memoryShort();
    Lire_Decimal(file);
    entry->color.red = val_DBL;
    Lire_Decimal(file);
    entry->color.green = val_DBL;
    Lire_Decimal(file);
    entry->color.blue = val_DBL;
    std::strcpy(entry->name, strTemp);
    addColorToList(&myColorList, entry.release());
}

int parseFile(const char* name) {
    resetCounters();
    const ParseScratch scratch;
    surface = static_cast<Surface*>(std::malloc(sizeof(Surface)));
    if (!surface) memoryShort();
    *surface = surfaceDefaults;

    try {
        parseScene(name);
    } catch (const std::bad_alloc&) {
        memoryShort();
    }
    checkRenderedValues(c != 0, s != 0);

    if (c == 0) {
        consolePrint(" Missing camera!");
        return -1;
    }
    if (s == 0) {
        consolePrint(" Missing settings!");
        return -1;
    }
    if (su == 0) {
        consolePrint(" Missing surface!");
        return -1;
    }
    if (l == 0) consolePrint(" Warning: scene doesn't contain any light.");
    printStatistics();
    return 0;
}

void releaseScene() {
    freeBoundingSlabs();
    freeList(&myLightList);
    freeColorList(&myColorList);
    std::free(surface);
    surface = nullptr;
    object = nullptr;
    nPrims = 0;
    resetCounters();
    resetLexer();
}
