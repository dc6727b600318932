// The query tree: a second hierarchy over the scene's primitives, built for speed (boxes split by
// the surface area heuristic, four lanes per node, walked with a stack instead of a heap).
//
// The slab tree stays the reference for every answer. Its walk tests primitives in order of box
// entry distance and keeps the first of equally near hits, so a query tree answer is taken only
// when it is provably the slab tree's: for shadow rays always (whether anything blocks does not
// depend on the order), for nearest hits unless two primitives tie at the nearest distance or
// the winner's box is entered beyond its own hit (rounding at a box face); intersect then asks the
// slab tree. Every box test is the slab tree's own test, so both trees reach the same primitives.
#pragma once

#include "objects/data.h"

struct QueryTree;

// The query tree of the primitives of the list starting at first (a bounding node stands for the
// primitives below it), or null when memory is short (the slab tree then answers alone).
QueryTree* buildQueryTree(const Object* first);
void freeQueryTree(QueryTree* tree);

enum class QueryAnswer { miss, hit, undecided };

// The nearest hit below maxDistance (hit filled only for QueryAnswer::hit), or undecided.
QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude);
// Whether any primitive but exclude is hit below maxDistance.
bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude);
