// liborvel as a host program meets it, through orvel.h alone: the pictures and messages of the
// command line, errors the host survives, cancel, many renders in a row and from two threads.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "orvel.h"
#include "support/files.h"

namespace {

using Args = std::vector<std::string>;
const std::string scenes = ORVEL_SOURCE_DIR "/scenes";

struct Result {
    orvel_status status;
    int line = 0;
    std::string message;
    int width = 0, height = 0;
    std::string pixels;  // the rows as the picture holds them
    std::string transcript;
    bool operator==(const Result&) const = default;
};

// A struct of the interface with its size set, the rest zero.
template <typename T>
T sizedRecord() {
    T record{};
    record.size = sizeof record;
    return record;
}

orvel_options sized(int width, int height, int threads = 0) {
    orvel_options options;
    orvel_options_init(&options);
    options.width = width;
    options.height = height;
    options.threads = threads;
    return options;
}

void keepText(void* user, int, const char* text, size_t length) { static_cast<std::string*>(user)->append(text, length); }

// The text with the figures of its rendering time left out, which vary from run to run.
std::string maskedTime(std::string text) {
    const std::size_t at = text.find("time: "), end = text.find(" second", at);
    if (at != std::string::npos && end != std::string::npos) text.erase(at + 6, end - at - 6);
    return text;
}

// The text without its first line that starts with `start`.
std::string withoutLine(std::string text, const std::string& start) {
    const std::size_t at = text.find(start);
    if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
    return text;
}

// Renders a file (text empty) or scene text with the options, keeping what the render printed.
Result render(const std::string& path, const std::string& text, orvel_options options) {
    Result result{};
    options.message = keepText;
    options.message_user = &result.transcript;
    orvel_picture* picture = reinterpret_cast<orvel_picture*>(&result);  // must be overwritten
    auto error = sizedRecord<orvel_error>();
    result.status = path.empty() ? orvel_render_text(text.data(), text.size(), &options, &picture, &error)
                                 : orvel_render_file(path.c_str(), &options, &picture, &error);
    result.transcript = maskedTime(result.transcript);
    if (result.status != ORVEL_OK) {
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(error.status, result.status);
        result.line = error.line;
        result.message = error.message;
        return result;
    }
    result.width = picture->width;
    result.height = picture->height;
    result.pixels.assign(reinterpret_cast<const char*>(picture->pixels), picture->row_bytes * picture->height);
    orvel_picture_free(picture);
    return result;
}

Result renderFile(const std::string& path, orvel_options options) { return render(path, "", options); }
Result renderText(const std::string& text, orvel_options options) { return render("", text, options); }

// The command line's picture as PPM pixels (header dropped), and what it printed.
struct CommandLine {
    std::string pixels;
    std::string out;
    int status;
};
CommandLine commandLine(bool multi, Args args, const std::string& directory) {
    const TempDir dir;
    args.insert(args.end(), {"-o", dir.path("cli"), "-ppm"});
    const ProgramRun run = runProgram(orvelProgram(multi), args, directory);
    std::string ppm = readWholeFile(dir.path("cli.ppm"));
    std::size_t at = 0;
    for (int lines = 0; lines < 3 && at < ppm.size(); ++at) lines += ppm[at] == '\n';
    return {ppm.substr(at), run.out, run.status};
}

const char* const simpleScene = R"(camera { position <0 -10 3> look_at <0 0 1> }
settings { resolution 32 24 output_type "ppm" output_name "ball" }
light { position <-5 -8 10> color 1 1 1 attenuation_type "none" }
surface { color 0.6 0.6 0.6 ambient 0.2 diffuse 0.8 }
plane { normal <0 0 1> distance 0 }
surface { color 0.9 0.2 0.1 ambient 0.2 diffuse 0.8 specular 0.5 roughness 30 }
sphere { center <0 0 1> radius 1 }
sphere { center <2 0 1> radius 0.5 }
)";

std::vector<std::string> exampleScenes() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scenes))
        if (entry.path().extension() == ".orv") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every example scene, from its file and from its text, in the calling thread and in bands, gives
// the pixels of the command line (unseeded in one thread: the C library's sequence from its start).
TEST(Api, EveryExampleSceneRendersThePixelsOfTheCommandLine) {
    const auto names = exampleScenes();
    ASSERT_GE(names.size(), 10u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        orvel_options options = sized(40, 30);
        options.directory = scenes.c_str();
        const CommandLine single = commandLine(false, {"-i", name, "-r", "40", "30"}, scenes);
        const Result file = renderFile(name, options);
        if (single.status != 0) {  // a file for other scenes to include, not a scene
            EXPECT_EQ(single.status, 255);
            EXPECT_EQ(file.status, ORVEL_ERROR_SCENE);
            continue;
        }
        ASSERT_EQ(file.status, ORVEL_OK) << file.message;
        EXPECT_EQ(file.width * file.height * 3, 40 * 30 * 3);
        EXPECT_TRUE(file.pixels == single.pixels);
        EXPECT_TRUE(renderText(readWholeFile(scenes + "/" + name), options).pixels == single.pixels);
        for (int bands : {2, 4, 8}) {
            options.threads = bands;
            options.has_seed = 1;
            options.seed = 7;
            const Args args = {"-i", name, "-r", "40", "30", "-t", std::to_string(bands), "--seed", "7"};
            EXPECT_TRUE(renderFile(name, options).pixels == commandLine(true, args, scenes).pixels) << bands;
        }
    }
}

// Each option does what its command-line option does (the scene has jitter, a lens and smooth
// shadows, so sampling differences show).
TEST(Api, OptionsActAsTheirCommandLineOptions) {
    struct Case {
        void (*set)(orvel_options*);
        Args args;
    };
    const Case cases[] = {
        {[](orvel_options* o) { o->antialias = ORVEL_AA_QUICK; }, {"-aaq"}},
        {[](orvel_options* o) { o->antialias = ORVEL_AA_ADAPTIVE, o->threshold = 8; }, {"-aaa", "8"}},
        {[](orvel_options* o) { o->antialias = ORVEL_AA_NONE; }, {"-aan"}},
        {[](orvel_options* o) { o->jitter = ORVEL_JITTER_ON; }, {"-j"}},
        {[](orvel_options* o) { o->queue_size = 150; }, {"-pqs", "150"}},
        {[](orvel_options* o) { o->queue_size = 20; }, {"-pqs", "20"}},
        {[](orvel_options* o) { o->width = 50; }, {"-w", "50"}},
        {[](orvel_options* o) { o->has_seed = 1, o->seed = 18446744073709551615u; }, {"--seed", "18446744073709551615"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        orvel_options options = sized(0, 20);
        options.directory = scenes.c_str();
        c.set(&options);
        Args args = {"-i", "depth_of_field.orv", "-h", "20"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_TRUE(renderFile("depth_of_field.orv", options).pixels == commandLine(false, args, scenes).pixels);
    }
    // Jitter off, which no command-line option can ask for: the scene without its jitter line.
    orvel_options off = sized(32, 24);
    off.jitter = ORVEL_JITTER_OFF;
    std::string jittered = simpleScene;
    jittered.insert(jittered.find("settings {") + 10, " jitter \"yes\"");
    EXPECT_TRUE(renderText(jittered, off).pixels == renderText(simpleScene, sized(32, 24)).pixels);
}

// What the render prints goes to the message callback as the command line prints it, but for the
// banner and the output file's name; the timing's figures vary.
TEST(Api, MessagesAreTheLinesOfTheCommandLine) {
    for (int bands : {0, 4}) {
        SCOPED_TRACE(bands);
        orvel_options options = sized(40, 30, bands);
        options.directory = scenes.c_str();
        Args args = {"-i", "include_declare.orv", "-r", "40", "30"};
        if (bands) args.insert(args.end(), {"-t", "4"});
        std::string expected = commandLine(bands != 0, args, scenes).out;
        expected.erase(0, banner(bands != 0).size());
        EXPECT_EQ(renderFile("include_declare.orv", options).transcript,
                  maskedTime(withoutLine(expected, " Rendering to: ")));
    }
}

// Scene and option errors come back as statuses with the command line's message and line; the
// text printed is the command line's, byte for byte; the host renders on as if nothing happened.
TEST(Api, ErrorsAreStatusesAndTheHostGoesOn) {
    struct Case {
        const char* scene;
        int width;
        orvel_status status;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"camera { position <0 0 x> }", 0, ORVEL_ERROR_SCENE, 1, "z componente expected"},
        {"\n\ncamera { position <0 0 1> @ }", 0, ORVEL_ERROR_SCENE, 3,
         "Syntaxic analyser stopped on character: '@'\nPlease review the script"},
        {"\nsphere { center <0 0 0> radius 1 } blob", 0, ORVEL_ERROR_SCENE, 2, "Unkown term"},
        {"include \"nowhere.orv\"", 0, ORVEL_ERROR_SCENE, 0, "Scene file: nowhere.orv could no be opened"},
        {"surface { color 1 1 1 }", 0, ORVEL_ERROR_SCENE, 0, "Missing camera!"},
        {"camera { position <0 -10 3> look_at <0 0 1> }\n"
         "settings { resolution 0 240 output_type \"ppm\" output_name \"x\" }\nsurface { color 1 1 1 }",
         0, ORVEL_ERROR_SCENE, 2, "image width and height must be greater than 0"},
        {simpleScene, 70000, ORVEL_ERROR_RENDER, 0, "Image size 70000 x 24 is too large: at most 65535 pixels a side"},
        {simpleScene, -3, ORVEL_ERROR_ARGUMENT, 0, "width and height must be greater than 0 (or 0 for the scene's)"},
    };
    const Result good = renderText(simpleScene, sized(0, 0));
    ASSERT_EQ(good.status, ORVEL_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        const TempDir dir;
        const std::string directory = dir.path();
        std::ofstream(dir.path("scene.orv")) << c.scene;
        orvel_options options = sized(c.width, 0);
        options.directory = directory.c_str();
        const Result failed = renderFile("scene.orv", options);
        EXPECT_EQ(failed.status, c.status);
        EXPECT_EQ(failed.line, c.line);
        EXPECT_EQ(failed.message, c.message);
        if (c.status == ORVEL_ERROR_SCENE) {
            const ProgramRun run = runProgram(orvelProgram(false), {"-i", "scene.orv"}, dir.path());
            EXPECT_EQ(run.status, 255);
            EXPECT_EQ(banner(false) + failed.transcript, run.out);
        }
        EXPECT_EQ(renderText(simpleScene, sized(0, 0)), good);
    }
}

// The progress callback sees every row once, in order in one band; a non-zero answer at the first,
// a middle or the last row stops the render there: no picture, and no further calls.
TEST(Api, ProgressCancelsAtTheRowItAnswers) {
    struct Progress {
        int stopAt;
        int calls = 0;
        int lastDone = 0;
        int total = 0;
    };
    const auto count = [](void* user, int done, int total) {
        Progress& p = *static_cast<Progress*>(user);
        ++p.calls;
        p.lastDone = done;
        p.total = total;
        return done == p.stopAt ? 1 : 0;
    };
    for (int bands : {1, 4}) {
        for (int stopAt : {1, 12, 24, 0}) {
            SCOPED_TRACE(std::to_string(bands) + " bands, stop at " + std::to_string(stopAt));
            Progress progress{stopAt};
            orvel_options options = sized(0, 0, bands);
            options.progress = count;
            options.progress_user = &progress;
            const Result result = renderText(simpleScene, options);
            EXPECT_EQ(result.status, stopAt ? ORVEL_CANCELLED : ORVEL_OK);
            EXPECT_EQ(progress.calls, stopAt ? stopAt : 24);
            EXPECT_EQ(progress.lastDone, progress.calls);
            EXPECT_EQ(progress.total, 24);
            if (stopAt) {
                EXPECT_EQ(result.message, "the render was cancelled");
            }
        }
    }
    EXPECT_EQ(renderText(simpleScene, sized(0, 0)).status, ORVEL_OK);
}

// A thousand renders in a row, of scenes and options of every kind and of scenes that fail, each
// give what the first of their kind gave: nothing is left over from one render to the next, and
// nothing stays allocated (under the leak checker exactly, and by the heap's own count roughly).
TEST(Api, AThousandRendersStartClean) {
    std::vector<std::pair<std::string, orvel_options>> cases;
    for (const std::string& name : exampleScenes()) {
        // Bands draw from the shared sequence in scheduling order: they render seeded.
        const bool bands = cases.size() % 3 == 1;
        orvel_options options = sized(8, 6, bands ? 2 : 0);
        options.antialias = static_cast<int>(cases.size() % 4);
        options.has_seed = bands || cases.size() % 5 == 0;
        cases.push_back({readWholeFile(scenes + "/" + name), options});
    }
    for (const char* bad : {"camera { position <0 0 x> }", "include \"nowhere.orv\"", "sphere {", "@"})
        cases.push_back({bad, sized(8, 6)});
    for (auto& c : cases) c.second.directory = scenes.c_str();

    std::vector<Result> first;
    for (const auto& [text, options] : cases) first.push_back(renderText(text, options));
    std::size_t heapInUse = 0;  // once every case has run a few times
    for (int i = 0; i < 1000; ++i) {
        if (i == 100) heapInUse = mallinfo2().uordblks;
        const std::size_t k = (i * 7) % cases.size();
        ASSERT_EQ(renderText(cases[k].first, cases[k].second), first[k]) << "render " << i << ", case " << k;
    }
    // The heap's count moves by a few kilobytes as chunks wait in the threads' caches; a leak of
    // one small block a render would add tens of kilobytes over these 900 renders.
    EXPECT_LE(mallinfo2().uordblks, heapInUse + 16384);
}

// Two host threads rendering at once take turns: the renders never overlap, and each gives its
// picture, the one it gives alone.
TEST(Api, TwoHostThreadsTakeTurns) {
    struct Owner {
        std::atomic<int>* current;
        int id;
        bool overlapped = false;
    };
    const auto check = [](void* user, int done, int total) {
        Owner& o = *static_cast<Owner*>(user);
        const int before = o.current->exchange(done == total ? 0 : o.id);
        if (before != 0 && before != o.id) o.overlapped = true;
        return 0;
    };
    std::atomic<int> current{0};
    const std::string other = readWholeFile(scenes + "/primitives.orv");
    const Result aloneA = renderText(simpleScene, sized(0, 0)), aloneB = renderText(other, sized(24, 18, 2));
    const auto host = [&](int id, const std::string& text, orvel_options options, const Result& alone) {
        Owner owner{&current, id};
        options.progress = check;
        options.progress_user = &owner;
        for (int i = 0; i < 20; ++i) {
            Result result = renderText(text, options);
            result.transcript.clear();
            EXPECT_EQ(result.pixels, alone.pixels);
        }
        EXPECT_FALSE(owner.overlapped);
    };
    std::thread a(host, 1, simpleScene, sized(0, 0), std::cref(aloneA));
    std::thread b(host, 2, other, sized(24, 18, 2), std::cref(aloneB));
    a.join();
    b.join();
}

// A call from inside a callback of a render is refused rather than left waiting for the render
// that called it.
TEST(Api, ACallFromACallbackIsRefused) {
    struct Inner {
        orvel_status status = ORVEL_OK;
        std::string message;
    } inner;
    orvel_options options = sized(0, 0, 2);
    options.progress_user = &inner;
    options.progress = [](void* user, int done, int) {
        if (done != 1) return 0;
        Inner& in = *static_cast<Inner*>(user);
        orvel_picture* picture = nullptr;
        auto error = sizedRecord<orvel_error>();
        in.status = orvel_render_text("x", 1, nullptr, &picture, &error);
        in.message = error.message;
        return 0;
    };
    EXPECT_EQ(renderText(simpleScene, options).status, ORVEL_OK);
    EXPECT_EQ(inner.status, ORVEL_ERROR_ARGUMENT);
    EXPECT_EQ(inner.message, "called from inside a callback of a running render");
}

// The library prints nothing on the host's standard output, installs no signal handler, and
// leaves the host's rand() sequence where it was.
TEST(Api, TheHostsOutputSignalsAndRandomSequenceAreLeftAlone) {
    std::srand(99);
    const int expected[2] = {std::rand(), std::rand()};
    std::srand(99);
    EXPECT_EQ(std::rand(), expected[0]);

    std::fflush(stdout);
    const TempDir dir;
    const int saved = dup(STDOUT_FILENO);
    std::FILE* capture = std::fopen(dir.path("out").c_str(), "w");
    dup2(fileno(capture), STDOUT_FILENO);
    orvel_options options = sized(16, 12);
    options.directory = scenes.c_str();
    orvel_picture* picture = nullptr;
    const orvel_status good = orvel_render_file("lights.orv", &options, &picture, nullptr);
    orvel_picture_free(picture);
    const orvel_status bad = orvel_render_text("sphere {", 8, nullptr, &picture, nullptr);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::fclose(capture);
    EXPECT_EQ(good, ORVEL_OK);
    EXPECT_EQ(bad, ORVEL_ERROR_SCENE);
    EXPECT_EQ(readWholeFile(dir.path("out")), "");
    EXPECT_EQ(std::rand(), expected[1]);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        sigaction(signal, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
    }
}

// The written files are the command line's, in every format; the name is taken as given.
TEST(Api, WrittenFilesAreTheCommandLines) {
    const TempDir dir;
    orvel_options options = sized(40, 30);
    options.directory = scenes.c_str();
    orvel_picture* picture = nullptr;
    ASSERT_EQ(orvel_render_file("showcase.orv", &options, &picture, nullptr), ORVEL_OK);
    const struct {
        const char* flag;
        const char* extension;
        orvel_format format;
    } formats[] = {{"-tga", "tga", ORVEL_FORMAT_TGA},
                   {"-bmp", "bmp", ORVEL_FORMAT_BMP},
                   {"-ppm", "ppm", ORVEL_FORMAT_PPM},
                   {"-png", "png", ORVEL_FORMAT_PNG},
                   {"-jpg", "jpg", ORVEL_FORMAT_JPEG}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.extension);
        runProgram(orvelProgram(false), {"-i", "showcase.orv", "-r", "40", "30", "-o", dir.path("cli"), f.flag}, scenes);
        const std::string byName = dir.path(std::string("api.") + f.extension), given = dir.path("api-given.out");
        EXPECT_EQ(orvel_picture_write(picture, byName.c_str(), ORVEL_FORMAT_BY_NAME, 0, nullptr), ORVEL_OK);
        EXPECT_EQ(orvel_picture_write(picture, given.c_str(), f.format, 0, nullptr), ORVEL_OK);
        const std::string cli = readWholeFile(dir.path(std::string("cli.") + f.extension));
        EXPECT_FALSE(cli.empty());
        EXPECT_TRUE(readWholeFile(byName) == cli);
        EXPECT_TRUE(readWholeFile(given) == cli);
    }
    auto error = sizedRecord<orvel_error>();
    EXPECT_EQ(orvel_picture_write(picture, dir.path("x.gif").c_str(), ORVEL_FORMAT_BY_NAME, 0, &error),
              ORVEL_ERROR_ARGUMENT);
    EXPECT_EQ(orvel_picture_write(picture, dir.path("none/x.png").c_str(), ORVEL_FORMAT_BY_NAME, 0, &error),
              ORVEL_ERROR_WRITE);
    EXPECT_EQ(std::string(error.message),
              "Cannot create image file: " + dir.path("none/x.png") + " (No such file or directory)");
    orvel_picture_free(picture);
}

// The statistics count the scene (an older, smaller struct gets what fits and keeps its size);
// arguments out of range are refused with what is wrong; the versions are those --version prints.
TEST(Api, StatisticsArgumentsAndVersions) {
    orvel_picture* picture = nullptr;
    ASSERT_EQ(orvel_render_text(simpleScene, std::strlen(simpleScene), nullptr, &picture, nullptr), ORVEL_OK);
    auto s = sizedRecord<orvel_statistics>();
    ASSERT_EQ(orvel_picture_statistics(picture, &s), ORVEL_OK);
    EXPECT_EQ(std::vector<long>({s.spheres, s.planes, s.cones, s.surfaces, s.lights, s.primitives}),
              std::vector<long>({2, 1, 0, 2, 1, 3}));
    EXPECT_GE(s.rays, 32u * 24u);  // a primary ray per pixel at least
    auto older = sizedRecord<orvel_statistics>();
    older.size = offsetof(orvel_statistics, rays);
    orvel_picture_statistics(picture, &older);
    EXPECT_EQ(std::tuple(older.size, older.primitives, older.rays), std::tuple(offsetof(orvel_statistics, rays), 3l, 0ul));
    orvel_picture_free(picture);

    const std::pair<void (*)(orvel_options*), const char*> refused[] = {
        {[](orvel_options* o) { o->threads = 3; }, "threads must be 1, 2, 4 or 8 (or 0 for 1)"},
        {[](orvel_options* o) { o->threshold = 256; }, "threshold must be 1 to 255 (or 0 for the scene's)"},
        {[](orvel_options* o) { o->size = 8; }, "orvel_options.size is 8: set it with orvel_options_init"},
    };
    for (const auto& [set, message] : refused) {
        orvel_options options = sized(0, 0);
        set(&options);
        auto error = sizedRecord<orvel_error>();
        EXPECT_EQ(orvel_render_text("x", 1, &options, &picture, &error), ORVEL_ERROR_ARGUMENT);
        EXPECT_EQ(picture, nullptr);
        EXPECT_STREQ(error.message, message);
    }

    auto v = sizedRecord<orvel_versions>();
    ASSERT_EQ(orvel_get_versions(&v), ORVEL_OK);
    EXPECT_STREQ(v.library, "0.1 beta 14");
    const std::string line = runProgram(orvelProgram(false), {"--version"}, ".").out;
    EXPECT_NE(line.find(std::string("libpng ") + v.libpng + ", " + v.libjpeg), std::string::npos) << line;
}

}  // namespace
