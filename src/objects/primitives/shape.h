// Compact shapes: a copy of just what a primitive's intersection reads, in a few dozen bytes, and
// the test that reads it. The query tree keeps one in each of its leaves, so that its walks read
// a primitive's geometry without its record (the header, the surface). A kind's compact test is
// its record's intersection, the same arithmetic on the same numbers: the same answers bit for
// bit. A kind without a compact form (cones, polygons) is tested through its record.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

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

// What a kind with a compact form S shares: the test and copy of its form, and its record's
// intersection, both through hit on the S that shapeOf makes from a record.
template <class S, S (*shapeOf)(const Object*), int (*hit)(const S&, const Ray*, Hit*)>
struct CompactKind {
    static_assert(sizeof(S) <= shapeSize && std::is_trivially_copyable_v<S>);

    static int test(const void* shape, const Ray* ray, Hit* h) {
        S s;
        std::memcpy(&s, shape, sizeof s);
        return hit(s, ray, h);
    }
    static void copy(const Object* obj, void* shape) {
        const S s = shapeOf(obj);
        std::memcpy(shape, &s, sizeof s);
    }
    static constexpr ShapeForm form{test, copy};

    // The record's intersection: as the compact test, with the record as the hit's object.
    static int intersect(const Object* obj, const Ray* ray, Hit* h) {
        if (!hit(shapeOf(obj), ray, h)) return 0;
        h->object = obj;
        return 1;
    }
};
