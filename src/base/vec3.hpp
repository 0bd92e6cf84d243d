// Position: a point or a displacement in three dimensions, in ångström, and the few operations on
// it that the layers share. A plain array, so that a buffer of (n, 3) doubles is a span of them.
// Velocity: the same three numbers, in ångström per femtosecond (LAMMPS real units).
#pragma once

#include <array>
#include <cmath>

namespace boxwright {

using Position = std::array<double, 3>;  // x, y, z in ångström
using Velocity = std::array<double, 3>;  // vx, vy, vz in Å/fs

inline Position operator-(const Position& a, const Position& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

inline Position operator+(const Position& a, const Position& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

inline double dot(const Position& a, const Position& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline double length(const Position& v) { return std::sqrt(dot(v, v)); }

inline double distance(const Position& a, const Position& b) { return length(a - b); }

}  // namespace boxwright
