#include "objects/hierarchy/query_tree.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The check of the invariants, node by node from the root.
class InvariantCheck {
public:
    InvariantCheck(const QueryTree& tree, std::vector<const Object*>& leaves)
        : tree_(tree), leaves_(leaves) {}

    const char* node(uint32_t index, int depth) {
        if (depth > maxDepth) return "invariant 3: a query tree node lies deeper than maxDepth";
        if (index >= tree_.nodeCount) return "a query tree lane refers to no node";
        const QueryNode& n = tree_.nodes()[index];
        for (int k = 0; k < 4 && n.ref[k]; ++k) {
            if (!laneIsNode(n.ref[k])) {
                const QueryLeaf* leaf = laneLeaf(n.ref[k]);
                if (!holds(leaf)) return "a query tree lane refers to no leaf";
                const Object* obj = leaf->record;
                leaves_.push_back(obj);
                if (!sameBits(n, k, queryPrim(obj))) {
                    return "invariant 2: a leaf lane does not hold its primitive's box";
                }
                const ShapeForm form = shapeForm(obj);
                unsigned char shape[shapeSize] = {};
                form.copy(obj, shape);
                if (leaf->test != form.test || std::memcmp(leaf->shape, shape, shapeSize) != 0) {
                    return "invariant 2: a leaf does not hold its record's shape";
                }
                continue;
            }
            if (laneNode(n.ref[k]) >= tree_.nodeCount) return "a query tree lane refers to no node";
            const QueryNode& child = tree_.nodes()[laneNode(n.ref[k])];
            for (int c = 0; c < 4 && child.ref[c]; ++c) {
                for (int i = 0; i < 3; ++i) {
                    if (!encloses(n.boundMin[i][k], n.boundMax[i][k], child.boundMin[i][c],
                                  child.boundMax[i][c])) {
                        return "invariant 1: an inner lane does not enclose the lanes below it";
                    }
                }
            }
            if (const char* broken = node(laneNode(n.ref[k]), depth + 1)) return broken;
        }
        return nullptr;
    }

private:
    // Whether leaf is one of the tree's leaves.
    bool holds(const QueryLeaf* leaf) const {
        const auto first = reinterpret_cast<uintptr_t>(tree_.leaves.data());
        const auto at = reinterpret_cast<uintptr_t>(leaf);
        return at >= first && at < first + tree_.leafCount * sizeof(QueryLeaf) &&
               (at - first) % sizeof(QueryLeaf) == 0;
    }
    static bool sameBits(const QueryNode& n, int k, const QueryPrim& p) {
        for (int i = 0; i < 3; ++i) {
            if (std::memcmp(&n.boundMin[i][k], &p.lo[i], sizeof(float)) != 0 ||
                std::memcmp(&n.boundMax[i][k], &p.hi[i], sizeof(float)) != 0) {
                return false;
            }
        }
        return true;
    }
    // The outer interval holds the inner one (a lane that has no number encloses nothing).
    static bool encloses(float outerLo, float outerHi, float innerLo, float innerHi) {
        return outerLo <= innerLo && outerHi >= innerHi;
    }

    const QueryTree& tree_;
    std::vector<const Object*>& leaves_;
};

void slabPrimitives(const Object* obj, std::vector<const Object*>& found) {
    for (; obj; obj = obj->next) {
        if (obj->kind == kindNode) {
            slabPrimitives(obj->children->first, found);
        } else {
            found.push_back(obj);
        }
    }
}

}  // namespace

const char* brokenInvariant(const QueryTree& tree, const Object* top) {
    if (tree.nodeCount == 0) return "a query tree without a root";
    std::vector<const Object*> leaves;
    std::vector<const Object*> primitives;
    if (const char* broken = InvariantCheck(tree, leaves).node(0, 0)) return broken;
    if (top && top->kind == kindNode) {
        slabPrimitives(top->children->first, primitives);
    } else if (top) {
        primitives.push_back(top);
    }
    std::sort(leaves.begin(), leaves.end());
    std::sort(primitives.begin(), primitives.end());
    if (leaves != primitives) return "invariant 2: the leaf lanes and the scene's primitives differ";
    return nullptr;
}
