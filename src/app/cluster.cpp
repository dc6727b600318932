#include "app/cluster.h"

#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

#include "app/cluster_files.h"
#include "app/cluster_rows.h"
#include "base/console.h"
#include "base/fatal.h"
#include "image/image.h"
#include "render/bands.h"
#include "render/camera.h"
#include "render/progress.h"
#include "render/render_settings.h"
#include "render/resume.h"
#include "render/rows_left.h"
#include "scene/model/model_file.h"
#include "scene/parser.h"

namespace {

int rank = 0;
int ranks = 1;
bool statusAgreed = false;  // the ranks have compared how their runs went

// Whether every rank's run has gone the same way so far (the same status everywhere).
bool ranksAgree(int status) {
    const int mine[2] = {status, -status};
    int most[2] = {0, 0};
    MPI_Allreduce(mine, most, 2, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    statusAgreed = true;
    return most[0] == -most[1];
}

// Ranks that ended their reading of the scene differently (a rank short of memory, say) cannot
// render together: the job ends.
void requireAgreement(int status) {
    if (ranksAgree(status)) return;
    if (rank == 0 && status == 0) consolePrint("\n The scene could not be read on every rank\n");
    abortJob(status != 0 ? status : 1);
}
// Every rank renders its rows; memory that runs short meanwhile ends the whole job, since the
// other ranks wait for this one's messages.
void renderRows(const RowsLeft& left) {
    try {
        if (rank == 0) {
            renderOnRankZero(ranks, left);
        } else {
            renderOnWorker(rank, ranks, left);
        }
    } catch (const std::bad_alloc&) {
        consolePrint("\n Not enough memory\n");
        abortJob(1);
    }
}
}  // namespace

// A rank that cannot go on ends the whole job, so that no rank waits for a message that will not
// come; rank 0 first removes the image it had begun.
void abortJob(int status) {
    journalInterrupted();
    discardImage();
    consoleFlush();
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);  // not reached: MPI_Abort ends this process with the others
}

void startCluster(int* argc, char*** argv) {
    int provided = MPI_THREAD_SINGLE;
    MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    if (provided < MPI_THREAD_FUNNELED) {
        if (rank == 0)
            consolePrint("\n This MPI cannot run render threads beside the thread that calls it\n");
        abortJob(1);
    }
    sceneFileOpener = rank == 0 ? readAndShareSceneFile : receiveSceneFile;
    modelFileReader = readModelThroughSceneOpener;  // model files travel as the scene files do
    // Ranks other than 0 print nothing of the run they share with rank 0; once the render starts,
    // what they print is their own failure.
    if (rank != 0) setConsoleOn(false);
}

void clusterTrace() {
    requireAgreement(0);
    setConsoleOn(true);
    resetBands();
    int status = 0;
    if (rank == 0) {
        consolePrint(" MPI version of ORVEL running.\n\n");
        consolePrint(" Running %d rank(s) of %d thread(s)\n", ranks, numThreads);
        if (openImage(myDisplay.outputName, myDisplay.width, myDisplay.height) == -1) status = 1;
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (status != 0) abortRun(status);
    // Rank 0 keeps the journal; every rank renders the rows it lacks.
    std::optional<RenderJournal> journal;
    if (rank == 0) journal.emplace(openImageName(), myDisplay.width, myDisplay.height, resumeRender);
    RowsLeft left = rank == 0 ? journal->rowsLeft() : RowsLeft(myDisplay.height);
    MPI_Bcast(left.bytes(), left.height(), MPI_BYTE, 0, MPI_COMM_WORLD);
    left.recount();

    const auto start = std::chrono::steady_clock::now();
    if (rank == 0) {
        showProgressInit();
        journal->showRestoredProgress();
    }
    cameraSetup();
    if (rank != 0) std::srand(static_cast<unsigned>(rank) + 1);  // a random sequence of its own
    renderRows(left);
    if (rank != 0) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    consolePrint("\n\n Rendering time: %4.2f second(s) elapsed on %d rank(s)\n", elapsed.count(), ranks);
    journal->pictureComplete();
    if (closeImage() == -1) abortRun(1);
    journal->pictureWritten();
}

int finishCluster(int status) {
    // What rank 0 printed goes out before any rank can end: mpirun stops forwarding output once a
    // rank has ended with an error.
    consoleFlush();
    if (!statusAgreed) requireAgreement(status);
    setConsoleOn(true);
    MPI_Finalize();
    return status;
}
