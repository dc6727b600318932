// The bounding-slab hierarchy: the flat object list becomes a tree of bounding nodes (kind 2),
// each enclosing 2 to `bunching` children, built bottom-up by splitting runs of the list at the
// mean doubled centre along the axis of widest spread.
#pragma once

#include "app/settings.h"
#include "objects/data.h"

// Turns myObjectList into the tree; afterwards the list holds only its top record.
void buildBoundingSlabs();
// Arranges the run of n records starting at *slot; 1 when it split the run, 0 otherwise.
int sortAndSplit(Object** slot, long n);
// Chooses the split axis and the split value for the count records from top on.
void findAxis(Object* top, long count);
// Records at the top level of the list during the last build (1 once a tree has been built).
long boundingTotal();
