#include "objects/sphere.h"

#include "support/scene_fixture.h"

namespace {

class Sphere : public SceneTest {};

TEST_F(Sphere, RootChoiceThresholdsAndEntering) {
    Object* s = makeSphere({0, 0, 0}, 1);
    EXPECT_EQ(nPrims, 1);
    EXPECT_EQ(myObjectList, s);
    expectRays(s, {
                      {{0, 0, -5}, {0, 0, 1}, 4},     // from outside: the near root
                      {{0, 0, 0}, {1, 0, 0}, 1, 0},   // from the centre: the far root
                      {{0, 0, 1}, {0, 0, 1}, -1},     // leaving from the surface: both roots too close
                      {{0, 0, 1}, {0, 0, -1}, 2, 0},  // on the surface counts as inside
                      {{0, 0, -1.0002}, {0, 0, 1}, 2.0002, 0},  // within 0.001 of radius squared
                      {{0, 0, -1.001}, {0, 0, 1}, 2.001, 1},
                      {{1, 0, -5}, {0, 0, 1}, 5},  // tangent
                      {{1.5, 0, -5}, {0, 0, 1}, -1},
                      {{0, 0, 5}, {0, 0, 1}, -1},  // behind
                      {{NAN, 0, 0}, {0, 0, 1}, -1},
                  });
    expectVector(s->normalFn(s, {0, 0, -1}), {0, 0, -1});
}

TEST_F(Sphere, ExtentsAndPrintLine) {
    Object* s = makeSphere({1, 2, 3}, -0.5);  // a negative radius still gives a proper box
    EXPECT_EQ(s->boundMin[0], 0.5);
    EXPECT_EQ(s->boundMax[2], 3.5);
    EXPECT_EQ(printLine(s), "Sphere: Cx = 1, Cy = 2, Cz = 3, R = -0.5\n");
}

}  // namespace
