/* liborvel: the ORVEL ray tracer inside another program. A scene (a file, or text in memory) is
 * rendered into a picture in memory: 8-bit RGB rows, top row first, the same pixels that the
 * command line (orvel, or orvel-mt for more than one thread) writes to a PPM file for the same scene
 * and options. The picture can then be written in any of the five formats.
 *
 * Every call returns a status. The structs that cross the interface carry their own size in their
 * first field (set it with sizeof, or with the init call), so that later versions can add fields
 * at their end.
 *
 * The library never ends the process, installs no signal handler and prints nothing: what the
 * command line would print goes to a message callback, if one is given, and nowhere otherwise.
 *
 * One render at a time per process: the renderer keeps its scene in process-wide state, so
 * orvel_render_file, orvel_render_text and orvel_picture_write called from a second thread while
 * another runs wait until it has finished. Called from inside a callback of a running render they
 * return ORVEL_ERROR_ARGUMENT instead of waiting for ever. Every render starts from the same clean
 * state, whatever the renders before it did or how they ended.
 *
 * Random sampling (jitter, depth of field, smooth shadows, fuzzy reflection) without a seed draws
 * from the C library's rand() sequence, restarted for each render as a fresh orvel process has it,
 * so a render in one thread gives the command line's picture. The library keeps that sequence in a
 * state of its own during the render: the host's rand() sequence goes on afterwards where it was.
 * A host thread that calls rand() or random() during such a render changes its noise; with a seed
 * every number is a function of the seed and the sample alone. */
#ifndef ORVEL_H
#define ORVEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORVEL_VERSION_MAJOR 0
#define ORVEL_VERSION_MINOR 1
#define ORVEL_VERSION_PATCH 14

typedef enum orvel_status {
    ORVEL_OK = 0,
    /* A null pointer, a struct size the library does not know, an option out of range, or a call
     * made from inside a callback of a running render. */
    ORVEL_ERROR_ARGUMENT = 1,
    /* The scene cannot be read: a syntax error, a file that cannot be opened, a camera, settings
     * or surface block missing, a value that cannot be rendered. The command line ends with
     * status 255 for these. */
    ORVEL_ERROR_SCENE = 2,
    /* The picture cannot be rendered: a size too large, memory short, a failure inside the
     * renderer. The command line ends with status 1 for these. */
    ORVEL_ERROR_RENDER = 3,
    /* orvel_picture_write could not write the file. */
    ORVEL_ERROR_WRITE = 4,
    /* The progress callback asked the render to stop. */
    ORVEL_CANCELLED = 5
} orvel_status;

/* Where a call that failed says why. */
typedef struct orvel_error {
    size_t size;         /* sizeof(orvel_error), set by the caller */
    orvel_status status; /* the status the call returned */
    int line;            /* the scene line the command line names ("Parser Error - line: N"), or 0 */
    /* The message the command line prints for the failure, without the blanks around it; for a
     * scene error at a line, the reason after the line number. At most 1023 bytes, then 0. */
    char message[1024];
} orvel_error;

/* Anti-aliasing modes (the command line's -aan, -aaq, -aaa). */
enum {
    ORVEL_AA_SCENE = 0, /* as the scene's settings block says */
    ORVEL_AA_NONE = 1,
    ORVEL_AA_QUICK = 2,
    ORVEL_AA_ADAPTIVE = 3
};

/* Jitter: as the scene says, on (-j), or off. */
enum { ORVEL_JITTER_SCENE = 0, ORVEL_JITTER_ON = 1, ORVEL_JITTER_OFF = 2 };

/* Called after every finished row with the number of rows done and the rows in all. Any value but
 * 0 stops the render before its next row: the call then returns ORVEL_CANCELLED and no picture.
 * Rows rendered in several threads finish in any order; the calls never overlap. */
typedef int (*orvel_progress_fn)(void* user, int rows_done, int rows_total);

/* Receives the text the command line would print, but for its banner and the line naming the
 * output file (from "Parsing" on: the statistics, the progress bar, the rendering time and every
 * message; an option's own message, such as the queue size's, once), piece by piece as it is
 * printed: stream 0 for standard output, 1 for standard error. The text is not 0-terminated. The
 * calls never overlap. */
typedef void (*orvel_message_fn)(void* user, int stream, const char* text, size_t length);

/* How to render. Zero in a field means "as the scene says" (or the command line's default). */
typedef struct orvel_options {
    size_t size; /* sizeof(orvel_options), set by orvel_options_init */
    /* Picture size in pixels (-w, -h); 0 keeps the scene's. At most 65535 each. */
    int width;
    int height;
    int antialias; /* ORVEL_AA_... */
    /* The adaptive threshold, 1 to 255 (-aaa N, which also selects adaptive mode); 0 keeps the
     * scene's. It counts only in adaptive mode. */
    int threshold;
    int jitter; /* ORVEL_JITTER_... */
    /* Seeded random sampling (--seed): used when has_seed is not 0. */
    int has_seed;
    uint64_t seed;
    /* 0 or 1: one band, rendered in the calling thread (orvel). 2, 4 or 8: as many bands,
     * rendered in as many threads at once (orvel-mt -t N); the calling thread waits. */
    int threads;
    /* Capacity of the traversal's priority queue (-pqs); 0 keeps the default of 128, 1 to 100
     * give 100. */
    int queue_size;
    /* The directory in which relative names are looked up: the scene file, included files and
     * model files, before the directory of the file that includes them. NULL: the working
     * directory, as for the command line. */
    const char* directory;
    orvel_progress_fn progress; /* NULL: none */
    void* progress_user;
    orvel_message_fn message; /* NULL: the text is dropped */
    void* message_user;
} orvel_options;

/* A rendered picture, owned by the library until orvel_picture_free. */
typedef struct orvel_picture {
    size_t size; /* sizeof(orvel_picture) as the library knows it */
    int width;
    int height;
    size_t row_bytes;            /* 3 * width: rows follow each other without padding */
    const unsigned char* pixels; /* height rows, top row first, each pixel red, green, blue */
    int jpeg_quality;            /* the scene's jpeg_quality, used by orvel_picture_write */
} orvel_picture;

/* What the scene held and what the render did. */
typedef struct orvel_statistics {
    size_t size; /* sizeof(orvel_statistics), set by the caller */
    long spheres;
    long rings;
    long planes;
    long cones;
    long cylinders;
    long discs;
    long polygons;
    long triangles;
    long patches;
    long surfaces;
    long lights;
    long primitives; /* "Number of primitives" */
    uint64_t rays;   /* rays traced: primary (one per lens sample), reflected, refracted */
    double seconds;  /* the render's elapsed time, without reading the scene */
} orvel_statistics;

/* Output formats for orvel_picture_write. */
typedef enum orvel_format {
    ORVEL_FORMAT_BY_NAME = -1, /* from the file name's extension: .tga .bmp .ppm .png .jpg .jpeg */
    ORVEL_FORMAT_TGA = 0,
    ORVEL_FORMAT_BMP = 1,
    ORVEL_FORMAT_PPM = 2,
    ORVEL_FORMAT_PNG = 3,
    ORVEL_FORMAT_JPEG = 4
} orvel_format;

typedef struct orvel_versions {
    size_t size; /* sizeof(orvel_versions), set by the caller */
    int major;   /* the library's; the shared object's name carries the major version */
    int minor;
    int patch;
    const char* library; /* e.g. "0.1 beta 14" */
    const char* libpng;  /* as the loaded libpng reports it, e.g. "1.6.39" */
    const char* libjpeg; /* as the libjpeg headers give it, e.g. "libjpeg-turbo 2.1.5 (libjpeg API 62)" */
} orvel_versions;

/* Sets size and every option to its default (all as the scene says, one thread). */
orvel_status orvel_options_init(orvel_options* options);

/* Renders the scene file at path. options may be NULL (the defaults); error may be NULL. On
 * success *picture holds the picture; otherwise it is set to NULL and nothing is left allocated. */
orvel_status orvel_render_file(const char* path, const orvel_options* options, orvel_picture** picture,
                               orvel_error* error);

/* The same for scene text in memory, length bytes (it need not be 0-terminated). Its includes are
 * looked up in options->directory. */
orvel_status orvel_render_text(const char* text, size_t length, const orvel_options* options,
                               orvel_picture** picture, orvel_error* error);

/* Writes the picture as a file of the format given, under exactly the name given (no extension is
 * added). quality is the JPEG quality, 1 to 100; 0 takes the scene's (90 when it gives none). The
 * file appears complete or not at all: an earlier file of the name stays as it was until then. */
orvel_status orvel_picture_write(const orvel_picture* picture, const char* path, orvel_format format,
                                 int quality, orvel_error* error);

/* The statistics of the render that made the picture. */
orvel_status orvel_picture_statistics(const orvel_picture* picture, orvel_statistics* statistics);

/* Releases the picture; NULL is accepted. */
orvel_status orvel_picture_free(orvel_picture* picture);

/* The versions of the library and of the image libraries it writes PNG and JPEG with. */
orvel_status orvel_get_versions(orvel_versions* versions);

/* A short English name of a status, e.g. "scene error". Never NULL. */
const char* orvel_status_name(orvel_status status);

#ifdef __cplusplus
}
#endif

#endif /* ORVEL_H */
