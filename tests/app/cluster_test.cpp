// orvel-mpi run through mpirun as users run it: the bytes of orvel on any number of ranks and
// threads, the messages printed once, and every failure ending the whole job without an image.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/interrupt.h"
#include "support/model_files.h"
#include "support/parse_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string dataDir = std::string(ORVEL_SOURCE_DIR) + "/tests/data";
const std::string clusterProgram = std::string(ORVEL_BINARY_DIR) + "/orvel-mpi";

// mpirun, then `tail`: Open MPI refuses root without --allow-run-as-root, and more ranks than
// cores without --oversubscribe.
std::vector<std::string> mpirun(std::vector<std::string> tail) {
    if (geteuid() == 0) tail.insert(tail.begin(), "--allow-run-as-root");
    tail.insert(tail.begin(), {ORVEL_MPIEXEC, "--oversubscribe"});
    return tail;
}

// orvel-mpi on `ranks` ranks (0: started without mpirun, a single rank).
ProgramRun runCluster(int ranks, const std::vector<std::string>& args, const std::string& directory) {
    return ranks == 0 ? runProgram(clusterProgram, args, directory)
                      : runCommand(mpirun(with({"-np", std::to_string(ranks), clusterProgram}, args)), directory);
}

// The timing figure, which changes from run to run, as #.##, and the progress ticks as the byte
// 0xB1: mpirun hands the ranks a terminal for their output, so rank 0 draws the ticks in UTF-8.
std::string maskTime(std::string out) {
    for (auto tick = out.find("\xE2\x96\x92"); tick != std::string::npos; tick = out.find("\xE2\x96\x92", tick))
        out.replace(tick, 3, 1, '\xB1');
    const auto at = out.rfind("time: ");
    for (auto i = at; at != std::string::npos && i < out.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(out[i]))) out[i] = '#';
    return out;
}

const std::string singleBanner = banner(false), clusterBanner = banner("-mpi");

// What orvel-mpi prints on this many ranks and threads where orvel printed `single`: another
// banner, the driver's lines before the image's, and the elapsed time with the rank count.
std::string clusterOutput(std::string single, int ranks, int threads) {
    single.replace(0, singleBanner.size(), clusterBanner);
    single.insert(single.find(" Rendering to:"), " MPI version of ORVEL running.\n\n Running " + std::to_string(ranks) +
                                                     " rank(s) of " + std::to_string(threads) + " thread(s)\n");
    const auto time = single.rfind(" second(s)\n");
    return maskTime(single.insert(time + 10, " elapsed on " + std::to_string(ranks) + " rank(s)"));
}

// The pid of the process of this rank among mpirun's children (0 if there is none yet).
pid_t rankProcess(pid_t job, int rank) {
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(job) + "/task", error)) {
        std::istringstream children(readWholeFile(task.path().string() + "/children"));
        for (pid_t child; children >> child;) {
            std::istringstream environment(readWholeFile("/proc/" + std::to_string(child) + "/environ"));
            for (std::string entry; std::getline(environment, entry, '\0');)
                if (entry == "OMPI_COMM_WORLD_RANK=" + std::to_string(rank)) return child;
        }
    }
    return 0;
}

// Whether the process ends (and is at most waiting to be reaped) within `limit`.
bool endsWithin(pid_t pid, std::chrono::seconds limit) {
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
        if (stat.empty() || stat.find(") Z ") != std::string::npos) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// A layout of one rank and one of several, each of two render threads, in
// every anti-aliasing mode, gives orvel's bytes on a picture cut into blocks of uneven size; with a
// seed, so do jitter, depth of field, smooth shadows and fuzzy reflection. Every format writes the
// end-to-end reference bytes.
TEST(Cluster, EveryLayoutRendersTheBytesOfOrvel) {
    TempDir dir;
    for (const std::vector<std::string>& scene :
         {std::vector<std::string>{"-i", dataDir + "/e2e_flat.orv", "-r", "40", "90"},
          {"-i", dataDir + "/threads.orv", "-r", "36", "50", "--seed", "7"}}) {
        for (const std::vector<std::string>& mode : {std::vector<std::string>{"-aan"}, {"-aaq"}, {"-aaa", "4"}}) {
            const std::vector<std::string> args = with(with(scene, mode), {"-ppm"});
            ASSERT_EQ(runProgram(orvelProgram(false), with(args, {"-o", "single"}), dir.path()).status, 0);
            for (const auto& [ranks, threads] : {std::pair{1, "2"}, {3, "2"}}) {
                const ProgramRun run = runCluster(ranks, with(args, {"-t", threads, "-o", "cluster"}), dir.path());
                EXPECT_EQ(run.status, 0) << run.err;
                EXPECT_TRUE(readWholeFile(dir.path("cluster.ppm")) == readWholeFile(dir.path("single.ppm")))
                    << scene[1] << " " << mode[0] << " on " << ranks << " rank(s) of " << threads << " thread(s)";
                fs::remove(dir.path("cluster.ppm"));
            }
        }
    }
    for (const std::string format : {"tga", "bmp", "ppm", "png", "jpg"}) {
        EXPECT_EQ(runCluster(3, {"-i", dataDir + "/e2e_fisheye.orv", "-o", "image", "-" + format}, dir.path()).status, 0);
        EXPECT_TRUE(readWholeFile(dir.path("image." + format)) == readWholeFile(dataDir + "/e2e_fisheye." + format))
            << format;
    }
}

// A comment of about a megabyte: a scene file several times its size goes out in several pieces.
std::string megabyteOfComment() {
    std::string lines;
    for (int k = 0; k < 10000; ++k) lines += "; " + std::string(100, 'c') + "\n";
    return lines;
}

// orvel's run of `args` in `here`, then orvel-mpi's with rank 0 in `here` and two more ranks in an
// empty directory: one message and orvel's picture, nothing written elsewhere. What orvel printed.
std::string rankZeroServes(const TempDir& here, const std::vector<std::string>& args) {
    const TempDir elsewhere;
    const std::string single = runProgram(orvelProgram(false), args, here.path()).out;
    const std::string picture = readWholeFile(here.path("pic.ppm"));
    fs::remove(here.path("pic.ppm"));
    const ProgramRun run = runCommand(mpirun(with(with({"-np", "1", "-wdir", here.path(), clusterProgram}, args),
                                                  with({":", "-np", "2", "-wdir", elsewhere.path(), clusterProgram}, args))),
                                      here.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(maskTime(run.out), clusterOutput(single, 3, 1));
    EXPECT_TRUE(readWholeFile(here.path("pic.ppm")) == picture);
    EXPECT_TRUE(elsewhere.empty());
    return single;
}

// The scene need only exist where rank 0 runs: here the other ranks start in an empty directory,
// and rank 0 reads the scene and its include for them (the include opens in the middle of the
// scene's second megabyte). Rank 0 prints what orvel prints, once, with its own banner, driver
// lines and time, and so does orvel-mpi started alone; the usage text has the thread line of
// orvel-mpi.
TEST(Cluster, RankZeroReadsTheScenesAndPrintsOnce) {
    TempDir here;
    std::ofstream(here.path("scene.orv")) << megabyteOfComment() << "; and more\n"
                                          << megabyteOfComment() << "include \"part.orv\"\n"
                                          << megabyteOfComment()
                                          << "settings { output_type \"ppm\" output_name \"pic\" resolution 24 30 }\n"
                                             "light { position <2 -5 5> color 1 1 1 }\nsphere { center <0 0 0> radius 1 }\n";
    std::ofstream(here.path("part.orv"))
        << "camera { position <0 -6 1> look_at <0 0 0> }\nsurface { color 1 0.5 0 diffuse 0.9 }\n";
    const std::string single = rankZeroServes(here, {"-i", "scene.orv"});
    EXPECT_EQ(maskTime(runCluster(0, {"-i", "scene.orv"}, here.path()).out), clusterOutput(single, 1, 1));

    const ProgramRun help = runCluster(2, {"--help"}, here.path());
    EXPECT_EQ(help.status, 255);
    EXPECT_EQ(help.out, clusterBanner + usageText("-mpi"));
}

// Model files, like scene files, need only exist where rank 0 runs: a glTF file with its buffer
// beside it and a PLY file, both found beside the scene, reach the other ranks (started in an
// empty directory) through rank 0, and the picture is orvel's. A model that cannot be read ends
// every rank after one message.
TEST(Cluster, ModelFilesComeFromRankZero) {
    TempDir here;
    fs::create_directory(here.path("models"));
    const GltfParts parts = gltfParts(tentMesh(), "tent.bin");
    std::ofstream(here.path("models/tent.gltf")) << parts.json;
    std::ofstream(here.path("models/tent.bin")) << parts.buffer;
    std::ofstream(here.path("models/tent.ply")) << plyFile(tentMesh(), "binary_little_endian");
    std::ofstream(here.path("models/scene.orv")) << sceneBase << "light { position <2 -5 5> color 1 1 1 }\n"
                                                 << "mesh { file \"tent.gltf\" scale 1.5 }\n"
                                                 << "mesh { file \"tent.ply\" flat move <-2 0 -1> }\n";
    const std::vector<std::string> args{"-i", "models/scene.orv", "-r", "24", "18", "-ppm", "-o", "pic"};
    rankZeroServes(here, args);

    std::ofstream(here.path("models/scene.orv")) << sceneBase << "mesh { file \"tent.stl\" }\n";
    const ProgramRun failed = runCluster(3, args, here.path());
    EXPECT_EQ(failed.status, 255);
    EXPECT_EQ(failed.out, clusterBanner + "\n Parsing models/scene.orv" +
                              parseError(4, " mesh file tent.stl: cannot be opened (No such file or directory)"));
}

// A scene error, on any rank's reading of the same bytes (at the end of a file of several pieces),
// or a missing scene, ends every rank with status 255 after one message; an image file that cannot be created ends the job
// with status 1 before anything is rendered. No image is left either way.
TEST(ClusterFaults, SceneAndOutputErrorsEndTheJobOnce) {
    TempDir dir;
    std::ofstream(dir.path("good.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }";
    std::ofstream(dir.path("long.orv")) << sceneBase << megabyteOfComment() << megabyteOfComment() << "sphere { radius 0 }";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-i", "missing.orv"}, {"-i", "long.orv"}}) {
        const std::string single = runProgram(orvelProgram(false), args, dir.path()).out;
        const ProgramRun run = runCluster(3, args, dir.path());
        EXPECT_EQ(run.status, 255) << args[1];
        EXPECT_EQ(run.out, clusterBanner + single.substr(singleBanner.size())) << args[1];
    }
    fs::create_directory(dir.path("taken.ppm"));  // the image's name is a directory
    const ProgramRun run = runCluster(3, {"-i", "good.orv", "-o", "taken", "-ppm", "-r", "16", "12"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.substr(run.out.find(" MPI version")),
              " MPI version of ORVEL running.\n\n Running 3 rank(s) of 1 thread(s)\n"
              " Cannot create image file: taken.ppm (Is a directory)\n");
    EXPECT_TRUE(fs::is_empty(dir.path("taken.ppm")));
}

// The command that starts `command` with its address space limited to `kilobytes` (ulimit -v).
std::vector<std::string> limited(int kilobytes, std::vector<std::string> command) {
    command.insert(command.begin(), {"/bin/sh", "-c", "ulimit -v " + std::to_string(kilobytes) + " && exec \"$0\" \"$@\""});
    return command;
}

// A sanitizer reserves far more address space than any limit below allows.
bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

// A scene, or an include, that is a device of endless bytes is read by rank 0 in bounded pieces,
// as orvel reads it: under a memory limit, the job ends with orvel's message and status.
TEST(ClusterFaults, EndlessScenesEndTheJobAsInOrvel) {
    if (sanitized()) GTEST_SKIP() << "a memory limit leaves no room for a sanitizer";
    TempDir dir;
    std::ofstream(dir.path("include.orv")) << "include \"zero\"\n";
    fs::create_symlink("/dev/zero", dir.path("zero"));
    for (const char* scene : {"/dev/zero", "include.orv"}) {
        const std::string single = runProgram(orvelProgram(false), {"-i", scene}, dir.path()).out;
        std::vector<std::string> command = mpirun({"-np", "2"});
        const std::vector<std::string> rank = limited(250000, {clusterProgram, "-i", scene});
        command.insert(command.end(), rank.begin(), rank.end());
        const ProgramRun run = runCommand(command, dir.path());
        EXPECT_EQ(run.status, 255) << scene << run.err;
        EXPECT_EQ(run.out, clusterBanner + single.substr(singleBanner.size())) << scene;
    }
}

// A scene of several pieces written into a pipe renders as from a file.
TEST(Cluster, AScenePipedInRendersAsFromAFile) {
    TempDir dir;
    std::ofstream(dir.path("scene.orv")) << sceneBase << "sphere { center <0 0 0> radius 1 }\n";
    ASSERT_EQ(runProgram(orvelProgram(false), {"-i", "scene.orv", "-o", "file", "-ppm", "-r", "8", "6"}, dir.path()).status,
              0);
    ASSERT_EQ(mkfifo(dir.path("pipe.orv").c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream(dir.path("pipe.orv"))
            << megabyteOfComment() << megabyteOfComment() << readWholeFile(dir.path("scene.orv"));
    });
    const ProgramRun run = runCluster(2, {"-i", "pipe.orv", "-o", "pipe", "-ppm", "-r", "8", "6"}, dir.path());
    writer.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWholeFile(dir.path("pipe.ppm")), readWholeFile(dir.path("file.ppm")));
}

// A rank that runs out of memory while the scene is read (here rank 0, then another, under a
// memory limit of its own) ends the whole job within seconds, non-zero, with orvel's message once.
TEST(ClusterFaults, ARankShortOfMemoryWhileReadingEndsTheJob) {
    if (sanitized()) GTEST_SKIP() << "a memory limit leaves no room for a sanitizer";
    TempDir dir, logs;
    {
        std::ofstream scene(dir.path("many.orv"));
        scene << sceneBase;
        for (int k = 0; k < 600000; ++k) scene << "sphere { center <" << k << " 0 0> radius 1 }\n";
    }
    for (const int shortRank : {0, 1}) {
        std::vector<std::string> command = mpirun({});
        for (int rank = 0; rank < 2; ++rank) {
            std::vector<std::string> program = {clusterProgram, "-i", "many.orv", "-r", "8", "6"};
            if (rank == shortRank) program = limited(250000, program);
            command.insert(command.end(), {"-np", "1"});
            command.insert(command.end(), program.begin(), program.end());
            if (rank == 0) command.push_back(":");
        }
        const std::string out = logs.path("out.txt"), err = logs.path("err.txt");
        const auto start = std::chrono::steady_clock::now();
        const pid_t job = startCommand(command, dir.path(), out.c_str(), err.c_str());
        ASSERT_NE(job, 0);
        const bool ended = endsWithin(job, 20s);
        if (!ended) kill(job, SIGKILL);
        int status = 0;
        waitpid(job, &status, 0);
        EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) != 0) << shortRank << " " << status;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
        const std::string said = readWholeFile(out);
        const std::string message = " -  memory allocation failed\n";
        EXPECT_TRUE(said.find(message) != std::string::npos && said.find(message) == said.rfind(message))
            << shortRank << said;
        EXPECT_FALSE(fs::exists(dir.path("out.png"))) << shortRank;
    }
}

// A rank killed in the middle of the render ends the whole job within seconds, and Ctrl-C to
// mpirun ends it too; neither leaves an image, or anything else but the journal, behind.
TEST(ClusterFaults, AKilledRankOrCtrlCEndsTheJobWithoutAnImage) {
    const std::vector<std::string> slow = {"-i", dataDir + "/threads.orv", "-r", "960", "720", "-o", "pic", "-aaa", "1"};
    for (const bool interrupt : {false, true}) {
        TempDir dir, logs;
        const std::string out = logs.path("out.txt");  // rank 0's output
        const pid_t job = startCommand(mpirun(with({"-np", "3", clusterProgram}, slow)), dir.path(), out.c_str());
        ASSERT_NE(job, 0);
        // The progress bar: the render has begun.
        ASSERT_TRUE(waitFor([&] { return readWholeFile(out).find("100%") != std::string::npos; }, 30s));
        std::this_thread::sleep_for(300ms);
        const pid_t worker = rankProcess(job, 1);
        ASSERT_NE(worker, 0);
        kill(interrupt ? job : worker, interrupt ? SIGINT : SIGKILL);
        const bool ended = endsWithin(job, 5s);
        if (!ended) kill(job, SIGKILL);
        int status = 0;
        waitpid(job, &status, 0);
        EXPECT_TRUE(ended && status != 0) << (interrupt ? "Ctrl-C" : "kill") << " " << status;
        // mpirun ends the other ranks with SIGTERM, then SIGKILL a second later: a rank 0 that misses
        // that second under load can leave its hidden file where a file cannot be without a name.
        fs::remove(dir.path(".pic.png.journal"));
        EXPECT_TRUE(dir.empty() || !offersUnnamedFiles(dir.path())) << (interrupt ? "Ctrl-C" : "kill");
        EXPECT_TRUE(endsWithin(worker, 3s));  // no rank is left behind
    }
}

// Killed at random moments (kill -9 to rank 0, which ends the job) and resumed, on three ranks or
// by orvel, or the other way round: the bytes of an uninterrupted render. 2 scenes, 3 pairs: 6
// random kill points (ORVEL_RESUME_KILLS=N: N of each, for a soak).
TEST(ClusterResume, KilledAtRandomMomentsAndResumedGivesTheUninterruptedBytes) {
    TempDir dir;
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    const std::vector<std::string> deterministic = {
        "-i", dataDir + "/e2e_flat.orv", "-r", "480", "360", "-aaq", "-o", "pic", "-ppm"};
    const std::vector<std::string> seeded = {
        "-i", dataDir + "/threads.orv", "-r", "120", "90", "-aaa", "2", "--seed", "7", "-o", "pic", "-ppm"};
    const std::string journal = dir.path(".pic.ppm.journal");
    auto command = [](bool cluster, const std::vector<std::string>& args) {
        return cluster ? mpirun(with({"-np", "3", clusterProgram}, args)) : builtCommand(orvelProgram(false), args);
    };
    int kills = 0, midRender = 0;
    for (const std::vector<std::string>& scene : {deterministic, seeded}) {
        // Kills from the moment the journal appears to a little after the render's end; orvel's
        // picture is the one to match.
        const auto jobTime = renderTime(command(true, scene), dir.path(), journal);
        const std::chrono::duration<double> took[2] = {renderTime(command(false, scene), dir.path(), journal), jobTime};
        fs::rename(dir.path("pic.ppm"), dir.path("whole.ppm"));
        for (int kill = 0; kill < 3 * killPoints(1); ++kill) {
            const bool first = kill % 3 != 2, then = kill % 3 != 1;
            fs::remove(dir.path("pic.ppm"));
            const auto delay = std::uniform_real_distribution<double>(0, 1.2)(random) * took[first];
            std::chrono::steady_clock::time_point seen{};
            interruptWhen(
                command(first, scene), dir.path(), SIGKILL, [&] { return pastJournal(journal, delay, &seen); }, "/dev/null",
                [first](pid_t job) { return first ? rankProcess(job, 0) : job; });
            const ProgramRun resumed = runCommand(command(then, with(scene, {"--resume"})), dir.path());
            EXPECT_EQ(resumed.status, 0) << resumed.err;
            EXPECT_TRUE(readWholeFile(dir.path("pic.ppm")) == readWholeFile(dir.path("whole.ppm")))
                << scene[1] << ": " << (first ? "orvel-mpi" : "orvel") << " killed after " << delay.count()
                << " s, resumed by " << (then ? "orvel-mpi" : "orvel") << " (random seed " << seed << ")\n"
                << resumed.out;
            ++kills;
            midRender += rowsResumed(resumed.out) > 0;
        }
    }
    std::printf("%d kill points, %d of them in the middle of the render\n", kills, midRender);
}

// SIGTERM to mpirun in the middle of the render (what a batch system sends before the time limit):
// rank 0 keeps its rows and says how to finish, and orvel-mt finishes the picture with orvel's bytes.
// (mpirun passes the signal on a second later, then sends SIGKILL right behind it and ends at once,
// so the line does not always get through; the rows always do. The job renders for some seconds,
// so that it is still rendering when the signal reaches the ranks.)
TEST(ClusterResume, SigtermToMpirunThenResume) {
    TempDir dir, logs;
    const std::vector<std::string> args = {
        "-i", dataDir + "/threads.orv", "-r", "1000", "750", "-aaa", "2", "--seed", "7", "-o", "pic", "-ppm"};
    ASSERT_EQ(runProgram(orvelProgram(false), with(args, {"-o", "whole"}), dir.path()).status, 0);
    const std::string log = logs.path("out.txt"), journal = dir.path(".pic.ppm.journal");
    const int status = interruptWhen(
        mpirun(with({"-np", "3", clusterProgram}, args)), dir.path(), SIGTERM,
        [&] { return journalRows(journal, 1000) >= 10; }, log);
    EXPECT_NE(status, 0);
    const std::string out = readWholeFile(log);
    const std::size_t line = out.find("\n Interrupted: ");
    EXPECT_TRUE(line == std::string::npos ||
                out.find(" rows kept in .pic.ppm.journal; to finish the picture: mpirun " + clusterProgram, line) !=
                    std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(dir.path("pic.ppm")));
    const ProgramRun resumed = runProgram(orvelProgram(true), with(args, {"-t", "2", "--resume"}), dir.path());
    EXPECT_NE(resumed.out.find(" Resuming from .pic.ppm.journal: "), std::string::npos) << resumed.out;
    EXPECT_TRUE(readWholeFile(dir.path("pic.ppm")) == readWholeFile(dir.path("whole.ppm")));
    EXPECT_FALSE(fs::exists(journal));
}

}  // namespace
