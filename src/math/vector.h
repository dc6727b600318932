// Vectors and colours: the three-double records every module computes with.
// The operations follow the arithmetic as written, component by component and left to right,
// so that every caller gets the same bits for the same formula.
#pragma once

#include <cmath>

struct Vector {
    double x;
    double y;
    double z;
};

constexpr Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vector operator-(Vector a, Vector b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vector operator-(Vector a) { return {-a.x, -a.y, -a.z}; }
constexpr Vector operator*(Vector a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr Vector operator*(double s, Vector a) { return {s * a.x, s * a.y, s * a.z}; }
constexpr Vector operator/(Vector a, double s) { return {a.x / s, a.y / s, a.z / s}; }

constexpr double dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr Vector cross(Vector a, Vector b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

constexpr bool isZero(Vector a) { return a.x == 0.0 && a.y == 0.0 && a.z == 0.0; }

inline double length(Vector a) { return std::sqrt(dot(a, a)); }

// Makes v unit length in place: one square root and three divisions. A zero vector gives
// non-finite components; callers that can meet one check for it themselves.
inline void VecNorm(Vector* v) {
    const double len = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    v->x /= len;
    v->y /= len;
    v->z /= len;
}

// The i-th coordinate (0 = x, 1 = y, 2 = z): the position along the i-th slab direction.
constexpr double component(Vector v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }

struct Color {
    double red;
    double green;
    double blue;
};

constexpr Color operator+(Color a, Color b) { return {a.red + b.red, a.green + b.green, a.blue + b.blue}; }
constexpr Color operator*(Color a, Color b) { return {a.red * b.red, a.green * b.green, a.blue * b.blue}; }
constexpr Color operator*(Color a, double s) { return {a.red * s, a.green * s, a.blue * s}; }
constexpr Color operator/(Color a, double s) { return {a.red / s, a.green / s, a.blue / s}; }

constexpr Color& operator+=(Color& a, Color b) { return a = a + b; }
