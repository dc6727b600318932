// Compact shapes: a copy of just what a primitive's intersection reads, in a few dozen bytes, and
// the test that reads it. The query tree keeps one in each of its leaves, so that its walks read
// a primitive's geometry without its record (the header, the surface). A kind's compact test is
// its record's intersection, the same arithmetic on the same numbers: the same answers bit for
// bit. A kind without a compact form (cones, polygons) is tested through its record.
#pragma once

#include <cstddef>

#include "objects/data.h"

// The room a shape has.
inline constexpr size_t shapeSize = 112;

// Fills the hit's distance and entering as the record's intersection does and returns what it
// returns; the hit's object is the caller's to set.
using ShapeTest = int (*)(const void* shape, const Ray* ray, Hit* hit);

// How a kind's primitive is tested from a compact copy.
struct ShapeForm {
    ShapeTest test;
    // Writes what the test reads out of the record into shape (shapeSize bytes, zero-filled before).
    void (*copy)(const Object* obj, void* shape);
};

// The compact form of the record's primitive, known by its intersection operation.
ShapeForm shapeForm(const Object* obj);
