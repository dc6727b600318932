// The fixed facts of the bounding hierarchy, set once at start-up: the slab directions (the unit
// axes; every record's extents are intervals along them) and the largest number of children of
// one bounding node.
#pragma once

#include "math/vector.h"

extern Vector Slab[3];
extern int bunching;
