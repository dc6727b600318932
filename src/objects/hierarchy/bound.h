// The bounding-slab hierarchy: the flat object list becomes a tree of bounding nodes (kind 2),
// each enclosing 2 to `bunching` children, built bottom-up in passes. A pass splits the records
// of the list at the mean doubled centre along the axis of widest spread, then the parts again,
// until every piece holds at most `bunching` records, and makes a node of every piece of two or
// more; the next pass works on the list of those nodes and the records left alone, until one
// record is left. The build also makes the query tree (objects/hierarchy/query_tree.h) over the same
// primitives.
//
// The passes work on arrays of entries (a record and its doubled centres) instead of relinking
// the records one by one; a split moves the entries exactly as relinking would move the records,
// so the tree is the one the record-by-record build makes. The pieces of a split are independent
// of each other, and so are the nodes of a pass: with buildThreads above 1 they are handed to
// several threads (base/tasks.h), and the tree comes out the same, node for node.
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
