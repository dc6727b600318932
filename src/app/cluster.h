// The cluster program's side of a run: every call to MPI lives in this module, which only
// orvel-mpi is built with. Each rank runs the whole run of the other programs; rank 0 reads the
// scene files and shares their bytes, prints, and writes the image, while the rows are rendered
// by every rank in blocks handed out as the ranks come back for more.
#pragma once

// Starts MPI (only the main thread of each rank calls it), silences the standard output of every
// rank but rank 0 while it reads the scene, and makes every rank read the scene files and model
// files through rank 0. Ends the process when MPI cannot run the render threads.
void startCluster(int* argc, char*** argv);

// The render step of orvel-mpi, in place of the render driver, on every rank: rank 0 opens the
// image (or the job ends with status 1, nothing rendered), then all ranks render blocks of rows;
// rank 0 writes every row, prints the progress bar and the rendering time, and closes the image.
// A rank whose render fails ends the whole job (MPI_Abort), leaving no image.
void clusterTrace();

// Ends the whole job from any rank (MPI_Abort with the status), rank 0 first dropping the image it
// had begun, so that no rank waits for a message that will not come.
[[noreturn]] void abortJob(int status);

// Ends MPI and gives the exit status of this rank, from the status of its run. A run that ended
// before the render (a usage or scene error) ends the same way on every rank, since every rank
// reads the same arguments and scene bytes; if the ranks disagree, the job is aborted.
int finishCluster(int status);
