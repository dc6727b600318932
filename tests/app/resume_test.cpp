// Renders cut short and resumed: killed at random moments and finished by --resume, in the same
// program or another, they give the bytes of an uninterrupted render; torn and foreign journals are
// never trusted; the lines about the journal, byte for byte; a full disk costs the journal, never
// the picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/interrupt.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";

struct Program {
    const char* label;
    bool multi;
    Args options;
    Args command(const Args& args) const { return builtCommand(orvelProgram(multi), with(args, options)); }
};
const Program single{"orvel", false, {}}, bands{"orvel-mt -t 8", true, {"-t", "8"}};

// The quick scan averages the row above, the adaptive one shares corners with it: both at every
// seam between the rows kept and those rendered on resuming.
const Args deterministic = {"-i", dataDir + "/e2e_flat.orv", "-r", "480", "360", "-aaq", "-o", "pic", "-ppm"};
const Args seeded = {"-i", dataDir + "/threads.orv", "-r", "120", "90", "-aaa", "2", "--seed", "7", "-o", "pic", "-ppm"};

// 2 scenes, 4 pairs of programs, 2 kills each: 16 random kill points (ORVEL_RESUME_KILLS=N: N
// kills each, for a soak).
TEST(Resume, KilledAtRandomMomentsAndResumedGivesTheUninterruptedBytes) {
    TempDir dir;
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    int kills = 0, midRender = 0;
    const std::string journal = dir.path(".pic.ppm.journal");
    for (const Args& scene : {deterministic, seeded}) {
        // Kills from the moment the journal appears to a little after the render's end.
        const std::chrono::duration<double> took[2] = {renderTime(single.command(scene), dir.path(), journal),
                                                       renderTime(bands.command(scene), dir.path(), journal)};
        const std::string reference = readWholeFile(dir.path("pic.ppm"));
        for (const auto& [first, then] : {std::pair{single, single}, {bands, bands}, {single, bands}, {bands, single}}) {
            for (int kill = 0; kill < killPoints(2); ++kill) {
                fs::remove(dir.path("pic.ppm"));
                const auto delay = std::uniform_real_distribution<double>(0, 1.2)(random) * took[first.multi];
                std::chrono::steady_clock::time_point seen{};
                interruptWhen(first.command(scene), dir.path(), SIGKILL, [&] { return pastJournal(journal, delay, &seen); });
                const ProgramRun resumed = runCommand(then.command(with(scene, {"--resume"})), dir.path());
                EXPECT_EQ(resumed.status, 0);
                EXPECT_TRUE(readWholeFile(dir.path("pic.ppm")) == reference)
                    << scene[1] << ": " << first.label << " killed after " << delay.count() << " s, resumed by "
                    << then.label << " (random seed " << seed << ")\n"
                    << resumed.out;
                EXPECT_FALSE(fs::exists(journal));
                ++kills;
                midRender += rowsResumed(resumed.out) > 0;
            }
        }
    }
    std::printf("%d kill points, %d of them in the middle of the render\n", kills, midRender);
    EXPECT_GT(midRender, 0) << "random seed " << seed;  // the other kills came before or after
}

// The renders whose journals the tests below look at take long enough to be caught in the middle:
// 120 rows, records of 12 + 160 * 3 bytes after a header of 136.
const Args slow = {"-i", dataDir + "/threads.orv", "-r", "160", "120", "-aaa", "2", "--seed", "7", "-o", "pic", "-ppm"};
constexpr int record = 492;

// A journal of the slow render stopped once it holds 20 rows or more (a kill -9: no line).
int makeJournal(const TempDir& dir) {
    interruptWhen(single.command(slow), dir.path(), SIGKILL,
                  [&] { return journalRows(dir.path(".pic.ppm.journal"), 160) >= 20; });
    return journalRows(dir.path(".pic.ppm.journal"), 160);
}

// A torn last record and a flipped byte cost those two rows; a journal of another render is
// replaced, and the line says what differs (each difference alone: tests/render/journal_test.cpp).
TEST(Resume, TornAndForeignJournalsAreNeverTrusted) {
    TempDir dir;
    ASSERT_EQ(runCommand(single.command(with(slow, {"-o", "whole"})), dir.path()).status, 0);
    std::ofstream(dir.path("edited.orv")) << readWholeFile(dataDir + "/threads.orv") << "; edited\n";
    const std::string journal = dir.path(".pic.ppm.journal"), other = "Journal .pic.ppm.journal is of ";
    struct Case {
        Args args;
        std::string line;
    };
    const Case cases[] = {
        {{}, ""},
        {{"-r", "160", "121"}, other + "another picture size: rendering from the first row\n"},
        {{"-i", "edited.orv", "-aaq", "--seed", "8"},
         other + "another scene, other options and another seed: rendering from the first row\n"},
        {{"-png"}, "Journal .pic.png.journal is of another picture format: rendering from the first row\n"},
    };
    for (const Case& c : cases) {
        const int rows = makeJournal(dir);
        ASSERT_GE(rows, 20);
        std::string line = c.line;
        if (line.empty()) {  // torn in its last record, and a byte of the second record's pixels flipped
            std::string bytes = readWholeFile(journal);
            bytes.resize(136 + rows * record - 7);
            bytes[136 + record + 100] ^= 0x5a;
            std::ofstream(journal, std::ios::binary) << bytes;
            line = "Resuming from .pic.ppm.journal: " + std::to_string(rows - 2) + " of 120 rows done\n";
        }
        if (c.args == Args{"-png"}) fs::rename(journal, dir.path(".pic.png.journal"));
        const ProgramRun run = runCommand(single.command(with(with(slow, c.args), {"--resume"})), dir.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("\n " + line + "\n 0%"), std::string::npos) << run.out;
        EXPECT_TRUE(!c.args.empty() || readWholeFile(dir.path("pic.ppm")) == readWholeFile(dir.path("whole.ppm")));
        EXPECT_FALSE(fs::exists(journal) || fs::exists(dir.path(".pic.png.journal")));
    }
}

// The model file a mesh block reads is part of the scene: the journal of a render resumes while
// the file stays as it was, and is replaced once the file is edited.
TEST(Resume, AnEditedModelFileMakesAnotherScene) {
    TempDir dir;
    fs::copy_file(dataDir + "/models/tent.obj", dir.path("tent.obj"));
    std::ofstream(dir.path("scene.orv")) << readWholeFile(dataDir + "/threads.orv")
                                         << "mesh { file \"tent.obj\" move <-1 -3 0> }\n";
    const Args scene = with(slow, {"-i", "scene.orv", "--resume"});
    for (const bool edited : {false, true}) {
        interruptWhen(single.command(scene), dir.path(), SIGKILL,
                      [&] { return journalRows(dir.path(".pic.ppm.journal"), 160) >= 20; });
        if (edited) std::ofstream(dir.path("tent.obj"), std::ios::app) << "# edited\n";
        const ProgramRun run = runCommand(single.command(scene), dir.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find(edited ? "\n Journal .pic.ppm.journal is of another scene: rendering from the first row\n"
                                      : "\n Resuming from .pic.ppm.journal: "),
                  std::string::npos)
            << edited << run.out;
    }
}

// The lines a user reads: the command that finishes an interrupted render, the rows a resumed one
// takes, a resumed render whose noise cannot match, a render without a journal to resume, and one
// that cannot write its journal.
TEST(Resume, TheLinesAboutTheJournal) {
    TempDir dir, logs;
    const std::string log = logs.path("out.txt"), journal = dir.path(".pic.ppm.journal");
    const int status = interruptWhen(
        single.command(slow), dir.path(), SIGTERM, [&] { return journalRows(journal, 160) >= 5; }, log);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::string finish = orvelProgram(false);
    for (const std::string& word : with(slow, {"--resume"})) finish += " " + word;
    // The journal names the version of the banner: a journal of another version is never taken.
    const std::string text = banner(false),
                      version = text.substr(text.find(" v") + 2, text.find(" (") - text.find(" v") - 2);
    EXPECT_EQ(readWholeFile(journal).substr(12, version.size() + 1), version + '\0');
    const std::string out = readWholeFile(log);
    EXPECT_TRUE(out.ends_with("\n Interrupted: " + std::to_string(journalRows(journal, 160)) +
                              " of 120 rows kept in .pic.ppm.journal; to finish the picture: " + finish + "\n"))
        << out;

    // Jitter without a seed draws from the C library's one sequence: the rows cannot match.
    const Args unseeded = {"-i", dataDir + "/threads.orv", "-r", "160", "120", "-aaa", "2", "-o", "pic", "-ppm", "--resume"};
    fs::remove(journal);
    interruptWhen(single.command(unseeded), dir.path(), SIGKILL, [&] { return journalRows(journal, 160) >= 5; });
    const std::string resumed = runCommand(single.command(unseeded), dir.path()).out;
    EXPECT_NE(
        resumed.find(
            " rows done\n Random sampling without --seed: the resumed picture differs from an uninterrupted one\n\n 0%"),
        std::string::npos)
        << resumed;
    EXPECT_NE(runCommand(single.command(unseeded), dir.path())
                  .out.find(" Resolution:   160 x 120\n No journal .pic.ppm.journal: rendering from the first row\n\n 0%"),
              std::string::npos);

    // A name the journal cannot take: said once, and the picture is written all the same.
    fs::create_directory(journal);
    const ProgramRun blocked = runCommand(single.command(slow), dir.path());
    EXPECT_EQ(blocked.status, 0);
    EXPECT_NE(blocked.out.find(" Resolution:   160 x 120\n Cannot write journal .pic.ppm.journal (not a regular file): "
                               "rendering on without it\n\n 0%"),
              std::string::npos)
        << blocked.out;
    EXPECT_TRUE(fs::is_directory(journal) && fs::file_size(dir.path("pic.ppm")) == 15 + 160 * 120 * 3);
}

// A full disk (a small file system in namespaces of the test's own): the journal gives its room to
// the picture, which is written whenever it would have been without a journal.
TEST(Resume, AFullDiskCostsTheJournalNotThePicture) {
    TempDir dir;
    if (runCommand({"/usr/bin/unshare", "-rm", "true"}, dir.path()).status != 0)
        GTEST_SKIP() << "unshare -rm is not allowed here";
    const Args scene = {"-i", dataDir + "/threads.orv", "-r", "200", "200", "--seed", "3"};
    struct Case {
        const char* size;
        const char* format;
        int status;
        bool journalFits;
    };
    // The journal takes 122,536 bytes; the PNG file about 28 kB, the PPM file 120,015.
    for (const Case& c : {Case{"64k", "png", 0, false}, Case{"160k", "ppm", 0, true}, Case{"100k", "ppm", 1, false}}) {
        const std::string format = c.format;
        ASSERT_EQ(runCommand(single.command(with(scene, {"-o", "reference", "-" + format})), dir.path()).status, 0);
        fs::create_directory(dir.path("disk"));
        // The picture and a listing of the small disk come out before it goes with the namespace.
        const Args command = with({"/usr/bin/unshare", "-rm", "/bin/sh", "-c",
                                   std::string("mount -t tmpfs -o size=") + c.size +
                                       " tmpfs disk || exit 9; \"$@\"; s=$?; ls -A disk >listing; cp disk/* . ; exit $s",
                                   "sh"},
                                  single.command(with(scene, {"-o", "disk/pic", "-" + format})));
        const ProgramRun run = runCommand(command, dir.path());
        EXPECT_EQ(run.status, c.status) << c.size << run.out << run.err;
        const std::string failed =
            "\n Cannot write journal disk/.pic." + format + ".journal (No space left on device): rendering on without it\n ";
        // The journal fails when its rows reach the full disk before the render ends (else they are
        // dropped to make room for the picture): then with this line, once.
        const std::size_t line = run.out.find(" Cannot write journal");
        EXPECT_TRUE(line == std::string::npos ||
                    (!c.journalFits && run.out.find(failed) == line - 1 && run.out.rfind(" Cannot write journal") == line))
            << c.size << run.out;
        const bool written = c.status == 0;
        EXPECT_EQ(run.out.find(" Cannot write image file: disk/pic.ppm (No space left on device)\n") == std::string::npos,
                  written)
            << c.size;
        EXPECT_EQ(readWholeFile(dir.path("listing")), written ? "pic." + format + "\n" : "") << c.size;
        EXPECT_TRUE(!written || readWholeFile(dir.path("pic." + format)) == readWholeFile(dir.path("reference." + format)))
            << c.size;
        fs::remove(dir.path("disk"));
        fs::remove(dir.path("pic." + format));
    }
}

}  // namespace
