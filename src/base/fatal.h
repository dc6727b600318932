// Ending a run. Every fatal path (a scene error, a usage error, a traversal failure) prints its
// message where it happens and then throws RunAbort; `main` turns it into the exit status. Code
// that holds resources therefore unwinds cleanly, and the parser can be driven inside one process.
#pragma once

struct RunAbort {
    int status;
};

[[noreturn]] inline void abortRun(int status) { throw RunAbort{status}; }
