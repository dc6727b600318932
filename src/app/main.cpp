#include "app/main.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "app/run.h"
#include "app/settings.h"
#include "base/console.h"
#include "base/fatal.h"
#include "base/tasks.h"
#include "image/image.h"
#include "image/versions.h"
#include "objects/data.h"
#include "objects/hierarchy/pqueue.h"
#include "render/render_settings.h"
#include "render/resume.h"
#include "scene/model/model_file.h"
#include "scene/parser.h"

namespace {

Edition edition = Edition::single;

constexpr const char* makerNotice = "by the ORVEL developers";
constexpr const char* bugAddress = "orvel-bugs@example.org";
constexpr const char* suggestionAddress = "orvel-ideas@example.org";

[[noreturn]] void usageError() {
    showUsage();
    abortRun(-1);
}

bool isOption(const char* arg, const char* shortForm, const char* longForm) {
    return std::strcmp(arg, shortForm) == 0 || std::strcmp(arg, longForm) == 0;
}

// The argument after the option at *i, which it consumes; a missing value is a usage error.
const char* takeValue(int argc, char** argv, int* i) {
    if (*i + 1 >= argc) usageError();
    return argv[++*i];
}

// Numbers convert like atoi: leading blanks, a sign, digits; anything else gives 0. Values
// beyond an int are held at its limits.
int toInt(const char* text) {
    return static_cast<int>(std::clamp<long>(std::strtol(text, nullptr, 10), INT_MIN, INT_MAX));
}

// A seed is decimal digits only, 0 to 18446744073709551615; anything else is a usage error.
std::uint64_t toSeed(const char* text) {
    std::uint64_t seed = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, seed);
    if (error != std::errc{} || stop != end) usageError();
    return seed;
}

// The image size the command line leaves must be positive: a side that is not ends the run before
// any file exists, naming the option that set it (of two such options, the earlier). Only the
// final values count, so this waits until every option is read; argv[0] is no option (0: not set).
void checkSizes(char** argv, int widthAt, int heightAt) {
    const bool badWidth = widthAt != 0 && myDisplay.width <= 0;
    const bool badHeight = heightAt != 0 && myDisplay.height <= 0;
    if (!badWidth && !badHeight) return;
    const int at = badWidth && (!badHeight || widthAt <= heightAt) ? widthAt : heightAt;
    consolePrint("\n Invalid image size given with %s: width and height must be greater than 0\n", argv[at]);
    abortRun(-1);
}

// Copies a file name that fits its buffer, or ends the run saying how long it may be.
template <std::size_t N>
void takeName(char (&target)[N], const char* name, const char* what) {
    if (std::strlen(name) >= N) {
        consolePrint("\n %s name too long (at most %zu characters)\n", what, N - 1);
        abortRun(-1);
    }
    std::strcpy(target, name);
}

// Ctrl-C, a hang-up, a kill or another signal that ends a process, during the render: the journal
// keeps the rows finished, the image being written is removed and the process ends by the same
// signal (the handler is reset to the default action on entry). While the complete picture takes
// its name, the signal waits for it.
void endBySignal(int signal) {
    if (!removeUnfinishedOutput(signal)) return;
    journalInterrupted();
    std::raise(signal);
}

void removeImageOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = endBySignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

// The thread count -t asks for: orvel-mt renders 2, 4 or 8 bands (anything else gives 2),
// orvel-mpi runs 1 to maxRankThreads render threads in each rank (anything else gives 1).
int threadCount(int asked) {
    if (edition == Edition::cluster) {
        if (asked >= 1 && asked <= maxRankThreads) return asked;
        consolePrint(" Invalid number of threads: defaulting to 1 thread\n");
        return 1;
    }
    if (asked == 2 || asked == 4 || asked == 8) return asked;
    consolePrint(" Invalid number of threads: defaulting to 2 threads\n");
    return 2;
}

// The command that finishes an interrupted render: this one, with --resume. Words that the shell
// would take apart or expand are quoted.
std::string finishCommand(int argc, char** argv) {
    std::string command = edition == Edition::cluster ? "mpirun" : "";
    bool resuming = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        resuming = resuming || word == "--resume";
        if (!command.empty()) command += ' ';
        if (!word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                    "0123456789_@%+=:,./-") == std::string::npos) {
            command += word;
            continue;
        }
        command += '\'';
        for (const char c : word) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += '\'';
    }
    return resuming ? command : command + " --resume";
}

// The scene files are read through the opener the program set, their bytes going into the scene's
// fingerprint for the render's journal on the way.
FILE* (*readSceneFile)(const char* name) = nullptr;

FILE* openAndFingerprint(const char* name) { return fingerprintSceneFile(readSceneFile(name)); }

// Model files too: read whole by the reader the program set, their bytes then go into the
// fingerprint; a reader that takes them through the scene file opener fingerprints them there.
ModelFile (*readModelFile)(const char* path) = nullptr;

ModelFile readAndFingerprintModel(const char* path) {
    ModelFile model = readModelFile(path);
    if (model.ok()) fingerprintSceneBytes(model.bytes.data(), model.bytes.size());
    return model;
}

void fingerprintSceneFiles() {
    if (sceneFileOpener != openAndFingerprint) {
        readSceneFile = sceneFileOpener;
        sceneFileOpener = openAndFingerprint;
    }
    if (modelFileReader != readAndFingerprintModel && modelFileReader != readModelThroughSceneOpener) {
        readModelFile = modelFileReader;
        modelFileReader = readAndFingerprintModel;
    }
}

// Reads the scene file. In the multi-threaded program a second processor makes the scene's storage
// ready ahead of the parser meanwhile, which would otherwise wait for every fresh page it fills.
int readScene(Edition which) {
    // A model file is read by as many threads as the set-up after the scene will use.
    buildThreads = which == Edition::multi     ? std::max(numThreads, 2)
                   : which == Edition::cluster ? numThreads
                                               : 1;
    if (which != Edition::multi) return parseFile(inputFileName);
    const StorageAhead ahead;
    return parseFile(inputFileName);
}

}  // namespace

void showCredits() {
    const char* platform = edition == Edition::multi     ? "linux-sh3-glibc2-multithreaded"
                           : edition == Edition::cluster ? "linux-sh3-glibc2-mpi"
                                                         : "linux-sh3-glibc2";
    consolePrint("\n ORVEL v0.1 beta 14 (%s) - %s\n", platform, makerNotice);
}

void showVersions() { consolePrint(" %s\n", imageLibraryVersions().c_str()); }

void showUsage() {
    consolePrint("\n Usage: orvel [options] scenefile [...]\n\n");
    consolePrint(" Example: orvel -i scene.orv\n\n");
    consolePrint(" Options:\n");
    consolePrint("  -i/--input         filename    read filename as input\n");
    consolePrint("  -o/--ouput         filename    write output to 'filename' (no extension)\n");
    consolePrint("  -w/--width         integer     specify with of the output image\n");
    consolePrint("  -h/--height        integer     specify height of the output image\n");
    consolePrint("  -r/--resolution    int int     specify width and height of the output image\n");
    if (edition == Edition::multi) {
        consolePrint("  -t/--thread        int         specify the number thread to use (2, 4 or 8)\n");
    } else if (edition == Edition::cluster) {
        consolePrint("  -t/--thread        int         specify the number of threads per rank (1 to %d)\n",
                     maxRankThreads);
    }
    consolePrint("  -j/--jitter                    activate jittering\n");
    consolePrint("  -aaa/--aaadatpive  double      activate adaptive anti-aliasing\n");
    consolePrint("  -aaq/--aaquick                 activate quick anti-aliasing\n");
    consolePrint("  -aan/--aanone                  deactivate anti-aliasing\n");
    consolePrint("  -tga/--tga                     TGA output image\n");
    consolePrint("  -bmp/--bmp                     BMP output image\n");
    consolePrint("  -ppm/--ppm                     PPM output image\n");
    consolePrint("  -png/--png                     PNG output image\n");
    consolePrint("  -jpg/--jpeg                    JPEG output image\n");
    consolePrint("  -?/--help                      this help message\n\n");
    consolePrint("%-26s%s\n", " Report bugs to:", bugAddress);
    consolePrint("%-26s%s\n", " Send suggestions to:", suggestionAddress);
}

void parseArgs(int argc, char** argv) {
    bool inputSeen = false;
    int widthAt = 0;  // the options that set the image sides last
    int heightAt = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-?") == 0 || std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "/?") == 0) {
            usageError();
        }
        if (std::strcmp(arg, "--version") == 0) {
            showVersions();
            abortRun(0);
        }
        if (arg[0] != '-') continue;  // a bare word, such as a scene named without -i, is skipped

        if (isOption(arg, "-o", "--output")) {
            takeName(myDisplay.outputName, takeValue(argc, argv, &i), "Output file");
        } else if (isOption(arg, "-i", "--input")) {
            takeName(inputFileName, takeValue(argc, argv, &i), "Scene file");
            inputSeen = true;
        } else if (isOption(arg, "-aaa", "--aaadaptive")) {
            const int distance = toInt(takeValue(argc, argv, &i));
            if (distance == 0) usageError();
            iAntialias = 2;
            adapt_dist = distance;
        } else if (edition != Edition::single && isOption(arg, "-t", "--thread")) {
            numThreads = threadCount(toInt(takeValue(argc, argv, &i)));
        } else if (isOption(arg, "-pqs", "--pqsize")) {
            int size = toInt(takeValue(argc, argv, &i));
            if (size <= 100) {
                consolePrint("\n Defaulting priority queue size to 100\n");
                size = 100;
            }
            iPQSize = size;
        } else if (isOption(arg, "-aaq", "--aaquick")) {
            iAntialias = 1;
        } else if (isOption(arg, "-aan", "--aanone")) {
            iAntialias = 0;
        } else if (isOption(arg, "-j", "--jitter")) {
            jitter = 1;
        } else if (isOption(arg, "-r", "--resolution")) {
            widthAt = heightAt = i;
            myDisplay.width = toInt(takeValue(argc, argv, &i));
            myDisplay.height = toInt(takeValue(argc, argv, &i));
        } else if (isOption(arg, "-w", "--width")) {
            widthAt = i;
            myDisplay.width = toInt(takeValue(argc, argv, &i));
        } else if (isOption(arg, "-h", "--height")) {
            heightAt = i;
            myDisplay.height = toInt(takeValue(argc, argv, &i));
        } else if (isOption(arg, "-tga", "--tga")) {
            iImageType = 0;
        } else if (isOption(arg, "-bmp", "--bmp")) {
            iImageType = 1;
        } else if (isOption(arg, "-ppm", "--ppm")) {
            iImageType = 2;
        } else if (isOption(arg, "-jpg", "--jpeg")) {
            iImageType = 4;
        } else if (isOption(arg, "-png", "--png")) {
            iImageType = 3;
        } else if (std::strcmp(arg, "--seed") == 0) {
            randomSeed = toSeed(takeValue(argc, argv, &i));
        } else if (std::strcmp(arg, "--resume") == 0) {
            resumeRender = true;
        } else {
            usageError();
        }
    }
    checkSizes(argv, widthAt, heightAt);
    widthOnCommandLine = widthAt != 0;
    heightOnCommandLine = heightAt != 0;
    if (!inputSeen) usageError();
}

namespace {

// What the console still holds goes out before the run returns, where a reader that went away
// cannot end the process; nothing is left for the exit to write.
struct ConsoleFlushedAtEnd {
    ConsoleFlushedAtEnd() = default;
    ConsoleFlushedAtEnd(const ConsoleFlushedAtEnd&) = delete;
    ConsoleFlushedAtEnd& operator=(const ConsoleFlushedAtEnd&) = delete;
    ~ConsoleFlushedAtEnd() { consoleFlush(); }
};

}  // namespace

int orvelMain(int argc, char** argv, Edition which, void (*trace)()) {
    const ConsoleFlushedAtEnd flushed;
    edition = which;
    removeImageOnSignals();
    resetRunState();
    keepRenderJournals(finishCommand(argc, argv));
    fingerprintSceneFiles();
    if (edition == Edition::cluster) numThreads = 1;
    showCredits();
    if (argc < 2) {
        showUsage();
        return -1;
    }
    try {
        parseArgs(argc, argv);
        if (readScene(edition) != 0) {
            releaseScene();
            return -1;
        }
        parseArgs(argc, argv);
        if (trace) {
            renderParsedScene(trace);
        } else {
            renderParsedScene(edition == Edition::multi ? RenderDriver::threadBands
                                                        : RenderDriver::callingThread);
        }
    } catch (const RunAbort& abort) {
        releaseScene();
        return abort.status;
    } catch (const std::bad_alloc&) {
        releaseScene();
        consolePrint("\n Not enough memory\n");
        return 1;
    }
    releaseScene();
    return 0;
}
