#include "objects/bound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "objects/sphere.h"
#include "support/scene_fixture.h"

namespace {

class Bounding : public SceneTest {};

std::vector<Object*> children(const Object* node) {
    std::vector<Object*> list;
    for (Object* c = node->children->first; c; c = c->next) list.push_back(c);
    EXPECT_EQ(node->children->count, static_cast<int>(list.size()));
    return list;
}

// Unit spheres at x = 0, 1, 2, 3, 4, made in order (the list reads them backwards).
std::vector<Object*> fiveSpheres() {
    std::vector<Object*> made;
    for (int k = 0; k < 5; ++k) made.push_back(makeSphere({k * 1.0, 0, 0}, 1));
    return made;
}

// The low part made by the first split of the whole list: the second record afterwards.
std::vector<Object*> lowPart() {
    EXPECT_EQ(sortAndSplit(&myObjectList, nPrims), 1);
    return children(myObjectList->next);
}

// The hierarchy build done the plain way, by walking and relinking the records themselves: the
// reference the array-based build must match record for record.
namespace reference {

long total = 0;
int axis = 0;
double median = 0;

double centre(const Object* obj, int i) { return obj->boundMin[i] + obj->boundMax[i]; }

void chooseAxis(const Object* top, long count) {
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    double sum[3] = {0, 0, 0};
    for (long k = 0; k < count; ++k, top = top->next) {
        for (int i = 0; i < 3; ++i) {
            const double v = centre(top, i);
            if (v < lo[i]) lo[i] = v;
            if (v > hi[i]) hi[i] = v;
            sum[i] += v;
        }
    }
    axis = 0;
    double widest = -1e10;
    for (int i = 0; i < 3; ++i) {
        if (hi[i] - lo[i] > widest) {
            widest = hi[i] - lo[i];
            axis = i;
        }
    }
    median = sum[axis] / count;
}

void group(Object** slot, long n) {
    Object* first = *slot;
    Object* last = first;
    for (long k = 1; k < n; ++k) last = last->next;
    Object* node = allocateObject();
    node->kind = kindNode;
    node->next = last->next;
    last->next = nullptr;
    node->children = makeChildList(first, static_cast<int32_t>(n));
    for (int i = 0; i < 3; ++i) {
        node->boundMin[i] = 1e10;
        node->boundMax[i] = -1e10;
    }
    for (const Object* c = first; c; c = c->next) {
        for (int i = 0; i < 3; ++i) {
            if (c->boundMin[i] < node->boundMin[i]) node->boundMin[i] = c->boundMin[i];
            if (c->boundMax[i] > node->boundMax[i]) node->boundMax[i] = c->boundMax[i];
        }
    }
    total = total - n + 1;
    *slot = node;
}

struct Part {
    Object* head = nullptr;
    Object* last = nullptr;
    long count = 0;
    void push(Object* obj) {
        obj->next = head;
        head = obj;
        if (!last) last = obj;
        ++count;
    }
    Object* pop() {
        Object* obj = head;
        head = obj->next;
        --count;
        return obj;
    }
};

int split(Object** slot, long n) {
    if (n <= 1) return 0;
    if (n <= bunching) {
        group(slot, n);
        return 0;
    }
    chooseAxis(*slot, n);
    Part low;
    Part high;
    Object* obj = *slot;
    for (long k = 0; k < n; ++k) {
        Object* next = obj->next;
        (median > centre(obj, axis) ? low : high).push(obj);
        obj = next;
    }
    if (low.count == 0) {
        for (long k = 0; k < n / 2; ++k) low.push(high.pop());
    } else if (high.count == 0) {
        for (long k = 0; k < n / 2; ++k) high.push(low.pop());
    }
    *slot = high.head;
    high.last->next = low.head;
    low.last->next = obj;
    split(&high.last->next, low.count);
    split(slot, high.count);
    return 1;
}

}  // namespace reference

// Records with given extents, in two identical lists: one for each build.
struct TwinScene {
    Object* reference = nullptr;
    std::unordered_map<const Object*, int> index;  // leaf record -> its number, in both lists

    explicit TwinScene(const std::vector<std::pair<Vector, Vector>>& boxes) {
        for (int k = 0; k < static_cast<int>(boxes.size()); ++k) {
            for (Object** list : {&myObjectList, &reference}) {
                Object* obj = allocateObject();
                obj->boundMin[0] = boxes[k].first.x;
                obj->boundMin[1] = boxes[k].first.y;
                obj->boundMin[2] = boxes[k].first.z;
                obj->boundMax[0] = boxes[k].second.x;
                obj->boundMax[1] = boxes[k].second.y;
                obj->boundMax[2] = boxes[k].second.z;
                addToList(list, obj);
                index[obj] = k;
            }
        }
        nPrims = static_cast<long>(boxes.size());
    }
    ~TwinScene() { freeObjectTree(&reference); }
    TwinScene(const TwinScene&) = delete;
    TwinScene& operator=(const TwinScene&) = delete;

    // A record and everything below it: leaves by number, nodes with their exact extents.
    std::string describe(const Object* obj) const {
        if (obj->kind != kindNode) return std::to_string(index.at(obj));
        std::string text = "[";
        for (int i = 0; i < 3; ++i) {
            char extent[64];
            std::snprintf(extent, sizeof extent, "%a %a ", obj->boundMin[i], obj->boundMax[i]);
            text += extent;
        }
        int count = 0;
        for (const Object* c = obj->children->first; c; c = c->next, ++count) text += describe(c) + " ";
        return text + "#" + std::to_string(count) + "/" + std::to_string(obj->children->count) + "]";
    }
    std::string describeList(const Object* first) const {
        std::string text;
        for (const Object* obj = first; obj; obj = obj->next) text += describe(obj) + "\n";
        return text;
    }
};

// Boxes of a few shapes: spread out, on a coarse grid (many equal centres), all alike (their mean
// exact, or rounded above or below the common centre, which sends them all to one part), flat.
std::vector<std::pair<Vector, Vector>> randomBoxes(std::mt19937& engine, int count, int shape) {
    std::uniform_real_distribution<double> spread(-50.0, 50.0);
    std::uniform_int_distribution<int> grid(0, 3);
    std::uniform_real_distribution<double> size(0.0, 2.0);
    std::vector<std::pair<Vector, Vector>> boxes;
    for (int k = 0; k < count; ++k) {
        Vector c{};
        switch (shape) {
            case 0: c = {spread(engine), spread(engine), spread(engine)}; break;
            case 1: c = {1.0 * grid(engine), 0.5 * grid(engine), 2.0 * grid(engine)}; break;
            case 2: c = {7, 7, 7}; break;
            case 3: c = {0.1, 0.1, 0.1}; break;
            default: c = {spread(engine), spread(engine), 0.0}; break;
        }
        const Vector half = shape == 3 ? Vector{0, 0, 0} : Vector{size(engine), size(engine), size(engine)};
        boxes.push_back({c - half, c + half});
    }
    return boxes;
}

TEST_F(Bounding, ArrayBuildMatchesTheRecordWalk) {
    std::mt19937 engine(20240611);
    for (int shape = 0; shape < 5; ++shape) {
        for (int count : {1, 2, 4, 5, 6, 9, 17, 64, 333, 2000}) {
            SCOPED_TRACE("shape " + std::to_string(shape) + ", " + std::to_string(count) + " records");
            const auto boxes = randomBoxes(engine, count, shape);
            {  // pass by pass: the same top level in the same order, the same count
                reset();
                TwinScene scene(boxes);
                reference::total = count;
                long fastTotal = count;
                for (int more = 1; more;) {
                    const long before = boundingTotal();
                    more = reference::split(&scene.reference, reference::total);
                    ASSERT_EQ(sortAndSplit(&myObjectList, fastTotal), more);
                    fastTotal += boundingTotal() - before;
                    ASSERT_EQ(fastTotal, reference::total);
                    ASSERT_EQ(scene.describeList(myObjectList), scene.describeList(scene.reference));
                }
            }
            reset();  // the whole build, which carries each level over to the next pass
            TwinScene scene(boxes);
            reference::total = count;
            while (reference::split(&scene.reference, reference::total)) {
            }
            buildBoundingSlabs();
            EXPECT_EQ(boundingTotal(), reference::total);
            EXPECT_EQ(scene.describeList(myObjectList), scene.describeList(scene.reference));
            const std::string tree = scene.describe(myObjectList);
            EXPECT_EQ(nPrims, count + std::count(tree.begin(), tree.end(), '['));
        }
    }
}

TEST_F(Bounding, FiveSpheresPassByPass) {
    const auto s = fiveSpheres();
    const long before = boundingTotal();
    // Mean doubled centre 4: S3 (exactly 4) goes to the high part, which comes first.
    ASSERT_EQ(sortAndSplit(&myObjectList, 5), 1);
    EXPECT_EQ(before - boundingTotal(), 3);
    Object* high = myObjectList;
    Object* low = high->next;
    EXPECT_EQ(children(high), (std::vector<Object*>{s[2], s[3], s[4]}));
    EXPECT_EQ(children(low), (std::vector<Object*>{s[0], s[1]}));
    EXPECT_EQ(high->boundMin[0], 1.0);  // exactly the children's extents
    EXPECT_EQ(high->boundMax[0], 5.0);
    EXPECT_EQ(sortAndSplit(&myObjectList, 2), 0);
    EXPECT_EQ(children(myObjectList), (std::vector<Object*>{high, low}));
    EXPECT_EQ(nPrims, 8);

    reset();
    fiveSpheres();
    buildBoundingSlabs();
    EXPECT_EQ(boundingTotal(), 1);
    EXPECT_EQ(nPrims, 8);
    EXPECT_EQ(myObjectList->next, nullptr);
}

TEST_F(Bounding, SmallScenes) {
    buildBoundingSlabs();
    EXPECT_EQ(myObjectList, nullptr);
    Object* one = makeSphere({3, 0, 0}, 1);
    buildBoundingSlabs();
    EXPECT_EQ(myObjectList, one);
    EXPECT_EQ(nPrims, 1);
    for (int n = 2; n <= 4; ++n) {
        reset();
        std::vector<Object*> made;
        for (int k = 0; k < n; ++k) made.insert(made.begin(), makeSphere({k * 10.0, 0, -k * 1.0}, 1));
        buildBoundingSlabs();
        EXPECT_EQ(boundingTotal(), 1);
        EXPECT_EQ(nPrims, n + 1);
        EXPECT_EQ(children(myObjectList), made);  // in list order
        EXPECT_EQ(myObjectList->boundMax[0], (n - 1) * 10.0 + 1);
        EXPECT_EQ(myObjectList->boundMin[2], -n * 1.0);
    }
}

TEST_F(Bounding, EqualCentresAndAxisTies) {
    // Doubled centres all equal: all go high, then the three nearest the end of the run move.
    std::vector<Object*> s;
    for (int k = 0; k < 6; ++k) s.push_back(makeSphere({1, 1, 1}, 1 + k));
    EXPECT_EQ(lowPart(), (std::vector<Object*>{s[2], s[1], s[0]}));
    EXPECT_EQ(children(myObjectList), (std::vector<Object*>{s[3], s[4], s[5]}));
    // Placed by their first coordinates the low part is S1, S2, S3; by their second, S1, S3, S6.
    const double p[6][2] = {{0, 0}, {1, 5}, {2, 1}, {3, 3}, {4, 4}, {5, 2}};
    auto lowOf = [&](auto centre) {
        reset();
        std::vector<Object*> made;
        for (const auto& c : p) made.push_back(makeSphere(centre(c[0], c[1]), 1));
        std::vector<long> indices;
        for (Object* o : lowPart()) indices.push_back(std::find(made.begin(), made.end(), o) - made.begin());
        return indices;
    };
    const std::vector<long> first{0, 1, 2};
    const std::vector<long> second{0, 2, 5};
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{a, b, 0}; }), first);         // x = y: x
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{0.1 * a, a, b}; }), first);   // y = z: y
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{a, 0, 1.5 * b}; }), second);  // z wider
}

TEST_F(Bounding, ListShorterThanItsCountEndsTheRun) {
    for (int k = 0; k < 6; ++k) makeSphere({k * 1.0, 0, 0}, 1);
    nPrims = 8;
    EXPECT_EQ(abortMessage(buildBoundingSlabs), "NULL top in FindAxis, count = 1\n");
    reset();  // a run too short to group fails the same way instead of walking off the list
    makeSphere({0, 0, 0}, 1);
    makeSphere({1, 0, 0}, 1);
    nPrims = 3;
    EXPECT_EQ(abortMessage(buildBoundingSlabs), "NULL top in FindAxis, count = 0\n");
}

}  // namespace
