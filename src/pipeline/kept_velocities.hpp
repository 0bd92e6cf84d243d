// The velocities a data file carries into data.lmp: LAMMPS starts the run from them, so a file in
// another unit system (metal's Å/ps is a thousand times real's Å/fs) or with absurd numbers starts
// at millions of kelvin. Knows the species for their masses and constraints, nothing of files.
#pragma once

#include <optional>
#include <span>

#include "base/error.hpp"
#include "base/vec3.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/system.hpp"

namespace boxwright {

// No atom of a molecular system moves this fast (100 km/s; hydrogen at 10,000 K has some 0.16
// Å/fs): a faster one is in another unit, or no velocity at all.
inline constexpr double FASTEST_ATOM_ANG_PER_FS = 1.0;
// Kept velocities whose temperature is further than this factor from the run's are warned about.
inline constexpr double KEPT_TEMPERATURE_FACTOR = 2.0;

// The temperature the velocities make, K, from their kinetic energy over the degrees of freedom
// LAMMPS counts (three per atom, less those its constraints hold and the total momentum's).
// Velocities in Å/fs, one per atom in species, molecule, atom order.
double kept_temperature(std::span<const Velocity> velocities, const ResolvedSystem& system);

// Refuses an atom faster than FASTEST_ATOM_ANG_PER_FS; warns when the temperature is far from
// the run's (`run_temperature`, K), else notes it.
Result<void> check_kept_velocities(std::span<const Velocity> velocities,
                                   const ResolvedSystem& system,
                                   std::optional<double> run_temperature, Diagnostics& diagnostics);

}  // namespace boxwright
