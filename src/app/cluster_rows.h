// The rows of one picture rendered by every rank of a cluster job: handed out in blocks as the
// ranks come back for more. Rank 0 writes every row into the image, its own render threads' and
// those the other ranks send back.
#pragma once

class RowsLeft;

// Rank 0's part of the render, until every row is in the image: the rows left are rendered, the
// others are in it already.
void renderOnRankZero(int ranks, const RowsLeft& left);
// The part of any other rank in the rows left, until no more blocks can come.
void renderOnWorker(int rank, int ranks, const RowsLeft& left);
