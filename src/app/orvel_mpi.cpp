// The cluster renderer: one picture rendered by all the ranks of an MPI job (mpirun, srun), each
// with one or more render threads. Started alone, it renders as a single rank.
#include "app/cluster.h"
#include "app/main.h"

int main(int argc, char** argv) {
    startCluster(&argc, &argv);
    return finishCluster(orvelMain(argc, argv, Edition::cluster, clusterTrace));
}
