// One force field assembled from several files: the user's own first, then the force-field entries
// of each bundled model a build names. A pseudo atom that two of them declare is one type, and
// must carry the same numbers in both. Knows nothing about molecules or where models are kept.
#pragma once

#include <string>
#include <vector>

#include "base/error.hpp"
#include "ff/force_field.hpp"

namespace boxwright {

// Two declarations of a pseudo atom agree when mass, charge, epsilon and sigma each differ by at
// most this part of the larger, or by PARAMETER_FLOOR for numbers near zero: far below any
// difference that changes a simulation, and above the rounding of a number retyped from a paper.
inline constexpr double PARAMETER_AGREEMENT = 1e-4;
inline constexpr double PARAMETER_FLOOR = 1e-6;

bool same_numbers(const PseudoAtomParams& a, const PseudoAtomParams& b);

struct ForceFieldFile {
    std::string path;  // as the caller named it, for messages
    ForceField force_field;
};

// The files' pseudo atoms and binary interactions together, the earlier file's entry kept where
// two agree; the mixing rule, cutoff and unknown keys are the first file's. A pseudo atom or pair
// two files give different numbers fails the merge, naming both files and both sets of numbers;
// the failure is placed in the earlier file, the one a user writes.
// `files` must not be empty.
Result<ForceField> merge_force_fields(std::vector<ForceFieldFile> files);

}  // namespace boxwright
