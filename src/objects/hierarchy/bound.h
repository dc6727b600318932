// The bounding-slab hierarchy: the flat object list becomes a tree of bounding nodes (kind 2),
// each enclosing 2 to `bunching` children, built bottom-up in passes. The build also makes the
// query tree (objects/hierarchy/query_tree.h) over the same primitives.
//
// The order of the records decides the tree, so every step keeps a defined order. The first pass
// takes the records in list order. A pass splits its run at the mean of the doubled centres along
// the axis of their widest spread (x before y before z on ties; the sum taken in run order): the
// high part (centres at least the mean) comes first, then the low part, each holding its records in
// the reverse of their order in the run; when one part would be empty, the other gives it the
// floor of half the records, one at a time from its front, so that they keep their order. Each
// part is split the same way until it holds at most `bunching` records. Every piece of two or more
// records becomes a node whose children are the piece's records in piece order; the next pass takes
// the nodes and the records left alone in piece order, until one record is left: the top.
//
// A pass works on arrays of entries (a record and its doubled centres) rather than on the linked
// records. The pieces of a split are independent of each other, and so are the nodes of a pass:
// with buildThreads above 1 they are handed to several threads (base/tasks.h), and the tree comes
// out the same, node for node.
#pragma once

#include <vector>

#include "objects/data.h"
#include "objects/hierarchy/slab_directions.h"

// Turns myObjectList into the tree; afterwards the list holds only its top record.
void buildBoundingSlabs();
// Frees what buildBoundingSlabs made, both trees, and the records of myObjectList with them:
// afterwards the list is empty.
void freeBoundingSlabs();

// One record of a run as the build sees it: its doubled centres next to the record (the
// hierarchy never halves them).
struct SlabEntry {
    double centre[3];
    Object* obj;
};

// How a run is split: the axis along which its doubled centres spread widest, and their mean.
struct SlabSplit {
    int axis;
    double median;
};

// The split of the count entries from run on: the widest spread of their doubled centres (x
// before y before z on ties), their mean along it, summed in run order.
SlabSplit findAxis(const SlabEntry* run, long count);

// A stretch of a run: `count` entries from `start`, in sides[side] of the two arrays a pass works
// in (a split moves entries from one to the other, at the same places). A stretch of more than
// `bunching` entries is still to be split, at `split`.
struct SlabPiece {
    long start;
    long count;
    int side;
    SlabSplit split;
};

// Arranges a stretch as the record-by-record build relinks its records: splits it at its split
// into the high part (the entries whose doubled centre along the axis is at least the mean, in the
// reverse of their order) followed by the low part (the others, likewise; a part left empty takes
// floor(n / 2) entries, one at a time, from the front of the other), then splits each part the
// same way, and so on while a part holds more than `keep` entries (keep >= bunching). The parts
// left, in run order, are appended to pieces.
void sortAndSplit(SlabEntry* const sides[2], const SlabPiece& run, long keep, std::vector<SlabPiece>& pieces);
