// The rows of one picture rendered by every rank of a cluster job: handed out in blocks as the
// ranks come back for more. Rank 0 writes every row into the image, its own render threads' and
// those the other ranks send back.
#pragma once

// Rank 0's part of the render, until every row is in the image.
void renderOnRankZero(int ranks);
// The part of any other rank, until no more blocks can come.
void renderOnWorker(int rank, int ranks);
