// The C interface of liborvel (api/orvel.h): each call checks its arguments, takes its turn at the
// renderer (api/call.h), runs what the command line runs between reading its options and writing
// its image, and reports the outcome as a status, a message and a line.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <strings.h>

#include "api/call.h"
#include "api/orvel.h"
#include "api/progress.h"
#include "app/run.h"
#include "base/fatal.h"
#include "image/bmp.h"
#include "image/image.h"
#include "image/jpg.h"
#include "image/memory_picture.h"
#include "image/png.h"
#include "image/ppm.h"
#include "image/tga.h"
#include "image/versions.h"
#include "objects/data.h"
#include "objects/hierarchy/pqueue.h"
#include "render/bands.h"
#include "render/driver.h"
#include "render/render_settings.h"
#include "scene/memory_file.h"
#include "scene/model/model_file.h"
#include "scene/parse_state.h"
#include "scene/parser.h"

namespace {

// The name a scene given as text goes by in the console's lines.
constexpr const char* sceneTextName = "scene text";
constexpr int smallestQueue = 100;
constexpr int largestThreshold = 255;
constexpr int largestQuality = 100;

// A picture as the library holds it: the view the host reads, the frame it points into, and the
// statistics of its render.
struct PictureRecord : orvel_picture {
    Frame frame;
    orvel_statistics statistics{};
};

// The outcome of a call: its status and, for a failure, the message and line.
struct Outcome {
    orvel_status status = ORVEL_OK;
    std::string message;
    int line = 0;
};

// Copies a struct the caller sized: at most what both sides know, the caller's size kept.
template <typename T>
void copyOut(const T& from, T* to) {
    const std::size_t size = to->size;
    std::memcpy(to, &from, std::min(size, sizeof(T)));
    to->size = size;
}

// Fills the caller's error record, as far as its size reaches, and returns the status.
orvel_status report(const Outcome& outcome, orvel_error* error) {
    if (!error || error->size < offsetof(orvel_error, message)) return outcome.status;
    error->status = outcome.status;
    error->line = outcome.line;
    const std::size_t room = std::min(error->size - offsetof(orvel_error, message), sizeof error->message);
    if (room > 0) {
        const std::size_t length = std::min(outcome.message.size(), room - 1);
        std::memcpy(error->message, outcome.message.data(), length);
        error->message[length] = '\0';
    }
    return outcome.status;
}

orvel_status refuse(const std::string& message, orvel_error* error) {
    return report({ORVEL_ERROR_ARGUMENT, message, 0}, error);
}

constexpr const char* busyMessage = "called from inside a callback of a running render";

// The options as given, checked; false with the reason otherwise.
bool readOptions(const orvel_options* given, orvel_options* options, std::string* why) {
    orvel_options_init(options);
    if (!given) return true;
    if (given->size < sizeof(orvel_options)) {
        *why = "orvel_options.size is " + std::to_string(given->size) + ": set it with orvel_options_init";
        return false;
    }
    // Fields of a newer header than the library's must be left at zero.
    const auto* bytes = reinterpret_cast<const unsigned char*>(given);
    if (std::any_of(bytes + sizeof(orvel_options), bytes + given->size,
                    [](unsigned char b) { return b != 0; })) {
        *why = "orvel_options holds fields this library does not know";
        return false;
    }
    std::memcpy(options, given, sizeof(orvel_options));
    if (options->width < 0 || options->height < 0) {
        *why = "width and height must be greater than 0 (or 0 for the scene's)";
    } else if (options->antialias < ORVEL_AA_SCENE || options->antialias > ORVEL_AA_ADAPTIVE) {
        *why = "antialias must be one of ORVEL_AA_SCENE, ORVEL_AA_NONE, ORVEL_AA_QUICK, ORVEL_AA_ADAPTIVE";
    } else if (options->threshold < 0 || options->threshold > largestThreshold) {
        *why = "threshold must be 1 to 255 (or 0 for the scene's)";
    } else if (options->jitter < ORVEL_JITTER_SCENE || options->jitter > ORVEL_JITTER_OFF) {
        *why = "jitter must be one of ORVEL_JITTER_SCENE, ORVEL_JITTER_ON, ORVEL_JITTER_OFF";
    } else if (const int t = options->threads; !(t == 0 || t == 1 || t == 2 || t == 4 || t == 8)) {
        *why = "threads must be 1, 2, 4 or 8 (or 0 for 1)";
    } else if (options->queue_size < 0) {
        *why = "queue_size must not be negative";
    } else {
        return true;
    }
    return false;
}

// What the command line's second pass over its options does: each option given replaces the
// scene's value.
void applyOptions(const orvel_options& options) {
    if (options.width != 0) myDisplay.width = options.width;
    if (options.height != 0) myDisplay.height = options.height;
    if (options.antialias != ORVEL_AA_SCENE) iAntialias = options.antialias - ORVEL_AA_NONE;
    if (options.threshold != 0) adapt_dist = options.threshold;
    if (options.jitter != ORVEL_JITTER_SCENE) jitter = options.jitter == ORVEL_JITTER_ON ? 1 : 0;
    if (options.has_seed) randomSeed = options.seed;
    numThreads = std::max(options.threads, 1);
    if (options.queue_size != 0) {
        if (options.queue_size <= smallestQueue) consolePrint("\n Defaulting priority queue size to 100\n");
        iPQSize = std::max(options.queue_size, smallestQueue);
    }
}

// Where the scene comes from while a render runs: the scene driver opens the top file and every
// include and model file through it. Relative names are taken from the directory given.
class SceneSource {
public:
    SceneSource(const std::string* text, const char* directory)
        : text_(text),
          directory_(directory ? directory : ""),
          previous_(sceneFileOpener),
          previousModelReader_(modelFileReader) {
        current = this;
        sceneFileOpener = open;
        modelFileReader = readModelThroughSceneOpener;  // model files are looked for the same way
    }
    ~SceneSource() {
        sceneFileOpener = previous_;
        modelFileReader = previousModelReader_;
        current = nullptr;
    }
    SceneSource(const SceneSource&) = delete;
    SceneSource& operator=(const SceneSource&) = delete;

private:
    static FILE* open(const char* name) {
        SceneSource& source = *current;
        const bool top = !source.topOpened_;
        source.topOpened_ = true;
        if (top && source.text_) return openSceneBytes(*source.text_);
        if (source.directory_.empty() || name[0] == '/') return std::fopen(name, "r");
        return std::fopen((source.directory_ + "/" + name).c_str(), "r");
    }

    static inline SceneSource* current = nullptr;
    const std::string* text_;  // the top file's bytes, or null to open it by name
    std::string directory_;
    FILE* (*previous_)(const char*);
    ModelFile (*previousModelReader_)(const char*);
    bool topOpened_ = false;
};

// Reads the scene as the command line does; with bands, a second thread makes the scene's storage
// ready meanwhile, as in orvel-mt.
int readScene(const char* name, int bands) {
    if (bands <= 1) return parseFile(name);
    const StorageAhead ahead;
    return parseFile(name);
}

// What the parse counted, taken before the hierarchy adds its nodes to the count of records.
orvel_statistics sceneStatistics() {
    orvel_statistics s{};
    s.size = sizeof s;
    s.spheres = iNumSphere;
    s.rings = iNumRing;
    s.planes = iNumPlane;
    s.cones = iNumCone;
    s.cylinders = iNumCylinder;
    s.discs = iNumDisc;
    s.polygons = iNumPolygone;
    s.triangles = iNumTriangle;
    s.patches = iNumPatch;
    s.surfaces = iNumSurface;
    s.lights = iNumLight;
    s.primitives = nPrims;
    return s;
}

// The run of the command line from its scene to its picture, into memory.
Outcome renderScene(const char* name, const orvel_options& options, LibraryCall& call,
                    std::unique_ptr<PictureRecord>* picture) {
    const int bands = std::max(options.threads, 1);
    RenderProgress progress;
    progress.callback = options.progress;
    progress.user = options.progress_user;
    auto record = std::make_unique<PictureRecord>();
    Outcome outcome;
    try {
        resetRunState();
        widthOnCommandLine = options.width != 0;
        heightOnCommandLine = options.height != 0;
        if (readScene(name, bands) != 0) {
            outcome.status = ORVEL_ERROR_SCENE;
        } else {
            applyOptions(options);
            record->statistics = sceneStatistics();
            record->jpeg_quality = jpeg_quality;
            iImageType = memoryImage;
            progress.rowsTotal = myDisplay.height;
            call.capture().clear();
            const WatchedRender watched(&progress);
            const auto start = std::chrono::steady_clock::now();
            renderParsedScene(bands > 1 ? RenderDriver::threadBands : RenderDriver::callingThread);
            record->statistics.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            record->frame = takeMemoryPicture();
        }
    } catch (const RunAbort& abort) {
        if (abort.status == bandsCancelled) {
            outcome = {ORVEL_CANCELLED, "the render was cancelled", 0};
        } else {
            outcome.status = abort.status == -1 ? ORVEL_ERROR_SCENE : ORVEL_ERROR_RENDER;
        }
    } catch (const std::bad_alloc&) {
        outcome = {ORVEL_ERROR_RENDER, "Not enough memory", 0};
    }
    const std::uint64_t rays = raysTraced();
    resetRunState();
    if (outcome.status == ORVEL_ERROR_SCENE ||
        (outcome.status == ORVEL_ERROR_RENDER && outcome.message.empty())) {
        outcome.message = call.capture().failureMessage(&outcome.line);
    }
    if (outcome.status != ORVEL_OK) return outcome;

    record->size = sizeof(orvel_picture);
    record->width = record->frame.width();
    record->height = record->frame.height();
    record->row_bytes = record->frame.rowBytes();
    record->pixels = record->frame.row(0);
    record->statistics.rays = rays;
    *picture = std::move(record);
    return outcome;
}

orvel_status render(const std::string* text, const char* path, const orvel_options* given,
                    orvel_picture** picture, orvel_error* error) {
    if (!picture) return refuse("the picture pointer is NULL", error);
    *picture = nullptr;
    orvel_options options;
    if (std::string why; !readOptions(given, &options, &why)) return refuse(why, error);
    try {
        LibraryCall call(options.message, options.message_user);
        if (call.busy()) return refuse(busyMessage, error);
        const SceneSource source(text, options.directory);
        std::unique_ptr<PictureRecord> record;
        const Outcome outcome = renderScene(text ? sceneTextName : path, options, call, &record);
        *picture = record.release();
        return report(outcome, error);
    } catch (const std::bad_alloc&) {
        return report({ORVEL_ERROR_RENDER, "Not enough memory", 0}, error);
    }
}

struct Writer {
    const char* format;
    bool (*canStore)(int width, int height);  // nullptr: any size
    int (*open)(const char* name, int width, int height);
    int (*writeLine)(unsigned char* row, int y);
    int (*close)();
};

// Indexed by orvel_format.
constexpr Writer writers[] = {
    {"TGA", tgaCanStore, openTGA, writeTGALine, closeTGA},
    {"BMP", bmpCanStore, openBMP, writeBMPLine, closeBMP},
    {"PPM", nullptr, openPPM, writePPMLine, closePPM},
    {"PNG", pngCanStore, openPNG, writePNGLine, closePNG},
    {"JPEG", jpgCanStore, openJPG, writeJPGLine, closeJPG},
};

// The format a file name's extension names, or BY_NAME when it names none.
orvel_format formatOfName(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strchr(dot, '/')) return ORVEL_FORMAT_BY_NAME;
    struct Extension {
        const char* text;
        orvel_format format;
    };
    constexpr Extension extensions[] = {{".tga", ORVEL_FORMAT_TGA},  {".bmp", ORVEL_FORMAT_BMP},
                                        {".ppm", ORVEL_FORMAT_PPM},  {".png", ORVEL_FORMAT_PNG},
                                        {".jpg", ORVEL_FORMAT_JPEG}, {".jpeg", ORVEL_FORMAT_JPEG}};
    for (const Extension& extension : extensions) {
        if (strcasecmp(dot, extension.text) == 0) return extension.format;
    }
    return ORVEL_FORMAT_BY_NAME;
}

std::string reason(int error) {
    return error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string();
}

// Hands the rows to the writer; the TGA and BMP writers turn the row they are given around, so
// each gets a copy.
Outcome writeRows(const Writer& writer, const PictureRecord& picture, const char* path) {
    const auto failed = [&](const char* what) {
        return Outcome{ORVEL_ERROR_WRITE, std::string(what) + path + reason(errno), 0};
    };
    errno = 0;
    if (writer.open(path, picture.width, picture.height) != 0) return failed("Cannot create image file: ");
    std::vector<unsigned char> row(picture.row_bytes);
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(row.data(), picture.frame.row(y), row.size());
        writer.writeLine(row.data(), y);
    }
    errno = 0;
    if (writer.close() != 0) return failed("Cannot write image file: ");
    return {};
}

}  // namespace

extern "C" {

orvel_status orvel_options_init(orvel_options* options) {
    if (!options) return ORVEL_ERROR_ARGUMENT;
    *options = orvel_options{};
    options->size = sizeof(orvel_options);
    return ORVEL_OK;
}

orvel_status orvel_render_file(const char* path, const orvel_options* options, orvel_picture** picture,
                               orvel_error* error) {
    if (!path) {
        if (picture) *picture = nullptr;
        return refuse("the scene file name is NULL", error);
    }
    return render(nullptr, path, options, picture, error);
}

orvel_status orvel_render_text(const char* text, size_t length, const orvel_options* options,
                               orvel_picture** picture, orvel_error* error) {
    if (!text && length != 0) {
        if (picture) *picture = nullptr;
        return refuse("the scene text is NULL", error);
    }
    try {
        const std::string bytes(text ? text : "", length);
        return render(&bytes, nullptr, options, picture, error);
    } catch (const std::bad_alloc&) {
        return report({ORVEL_ERROR_RENDER, "Not enough memory", 0}, error);
    }
}

orvel_status orvel_picture_write(const orvel_picture* picture, const char* path, orvel_format format,
                                 int quality, orvel_error* error) {
    if (!picture || !path) return refuse("the picture or the file name is NULL", error);
    if (format == ORVEL_FORMAT_BY_NAME) format = formatOfName(path);
    if (format == ORVEL_FORMAT_BY_NAME) {
        return refuse(std::string("no image format named by the extension of ") + path, error);
    }
    if (format < ORVEL_FORMAT_TGA || format > ORVEL_FORMAT_JPEG) return refuse("unknown image format", error);
    if (quality < 0 || quality > largestQuality)
        return refuse("quality must be 1 to 100 (or 0 for the scene's)", error);
    const auto& record = static_cast<const PictureRecord&>(*picture);
    const Writer& writer = writers[format];
    if (writer.canStore && !writer.canStore(record.width, record.height)) {
        return report({ORVEL_ERROR_WRITE,
                       "Image size " + std::to_string(record.width) + " x " + std::to_string(record.height) +
                           " is too large for " + writer.format,
                       0},
                      error);
    }
    try {
        LibraryCall call(nullptr, nullptr);
        if (call.busy()) return refuse(busyMessage, error);
        jpeg_quality = quality != 0 ? quality : record.jpeg_quality;
        const Outcome outcome = writeRows(writer, record, path);
        jpeg_quality = 0;
        return report(outcome, error);
    } catch (const std::bad_alloc&) {
        return report({ORVEL_ERROR_WRITE, "Not enough memory", 0}, error);
    }
}

orvel_status orvel_picture_statistics(const orvel_picture* picture, orvel_statistics* statistics) {
    if (!picture || !statistics) return ORVEL_ERROR_ARGUMENT;
    copyOut(static_cast<const PictureRecord*>(picture)->statistics, statistics);
    return ORVEL_OK;
}

orvel_status orvel_picture_free(orvel_picture* picture) {
    delete static_cast<PictureRecord*>(picture);
    return ORVEL_OK;
}

orvel_status orvel_get_versions(orvel_versions* versions) {
    if (!versions) return ORVEL_ERROR_ARGUMENT;
    static const std::string png = libpngVersion();
    static const std::string jpeg = libjpegVersion();
    orvel_versions known{
        sizeof(orvel_versions), ORVEL_VERSION_MAJOR, ORVEL_VERSION_MINOR, ORVEL_VERSION_PATCH,
        "0.1 beta 14",          png.c_str(),         jpeg.c_str()};
    copyOut(known, versions);
    return ORVEL_OK;
}

const char* orvel_status_name(orvel_status status) {
    switch (status) {
        case ORVEL_OK: return "success";
        case ORVEL_ERROR_ARGUMENT: return "invalid argument";
        case ORVEL_ERROR_SCENE: return "scene error";
        case ORVEL_ERROR_RENDER: return "render error";
        case ORVEL_ERROR_WRITE: return "write error";
        case ORVEL_CANCELLED: return "cancelled";
    }
    return "unknown status";
}

}  // extern "C"
