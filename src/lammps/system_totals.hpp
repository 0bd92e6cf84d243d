// SystemTotals: how many molecules, atoms, bonds, angles and dihedrals a build writes, computed
// from each species' numbers times its count (never by walking the copies), with every product
// and sum checked against the 64-bit range so that a huge request fails instead of wrapping.
#pragma once

#include <cstdint>
#include <span>

#include "base/error.hpp"
#include "lammps/resolved.hpp"

namespace boxwright {

struct SystemTotals {
    std::uint64_t molecules = 0;
    std::uint64_t atoms = 0;
    std::uint64_t bonds = 0;
    std::uint64_t angles = 0;
    std::uint64_t dihedrals = 0;
};

Result<SystemTotals> system_totals(std::span<const ActivePair> active);

}  // namespace boxwright
