#include "pipeline/kept_velocities.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/numbers.hpp"
#include "base/units.hpp"
#include "lammps/constraints.hpp"

namespace boxwright {
namespace {

// LAMMPS's real units: (g/mol) (Å/fs)² in kcal/mol.
constexpr double KCAL_PER_G_ANG2_PER_FS2 = 48.88821291 * 48.88821291;

// The degrees of freedom of one molecule as LAMMPS counts them under its constraints.
double molecule_freedoms(const ResolvedMolecule& resolved, const SpeciesHold& held,
                         const TypeRegistries& registries) {
    const double atoms = static_cast<double>(resolved.molecule->pseudo_atoms.size());
    if (atoms == 1) return 3;
    if (held.hold == Hold::RigidBody) return held.straight_offsets.empty() ? 6 : 5;
    if (held.hold != Hold::Shake) return 3 * atoms;
    if (!held.flexible) return atoms == 2 ? 5 : 6;  // a rigid diatomic or bent triatomic
    const auto held_bonds = std::ranges::count_if(resolved.bonds, [&](const auto& bond) {
        const auto& names = bond.record.types;
        const auto type = registries.bonds.type_number(norm_pair(names[0], names[1]));
        return std::ranges::binary_search(held.bond_types, type);
    });
    return 3 * atoms - static_cast<double>(held_bonds);
}

}  // namespace

double kept_temperature(std::span<const Velocity> velocities, const ResolvedSystem& system) {
    const auto& registries = system.species.registries;
    double twice_kinetic = 0, freedoms = 0;  // (g/mol) (Å/fs)²
    std::size_t atom = 0;
    for (const auto& pair : system.active()) {
        const auto& atoms = pair.resolved.molecule->pseudo_atoms;
        const auto held = hold_for(pair.resolved, registries, system.force_field());
        freedoms +=
            static_cast<double>(pair.count) * molecule_freedoms(pair.resolved, held, registries);
        for (std::uint64_t copy = 0; copy < pair.count; ++copy) {
            for (const auto& site : atoms) {
                const Velocity& v = velocities[atom++];
                const double mass = system.force_field().checked_pseudo_atom(site.name).mass;
                twice_kinetic += mass * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            }
        }
    }
    freedoms = std::max(freedoms - 3, 1.0);
    return twice_kinetic * KCAL_PER_G_ANG2_PER_FS2 / (freedoms * KB_KCAL_PER_K);
}

Result<void> check_kept_velocities(std::span<const Velocity> velocities,
                                   const ResolvedSystem& system,
                                   std::optional<double> run_temperature,
                                   Diagnostics& diagnostics) {
    for (std::size_t atom = 0; atom < velocities.size(); ++atom) {
        const Velocity& v = velocities[atom];
        // Component by component, so that no square overflows.
        const double fastest = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
        if (!(fastest <= FASTEST_ATOM_ANG_PER_FS)) {
            return fail(
                "the velocity of atom {} has a component of {} \u00c5/fs, faster than any atom "
                "of a molecular system (at most {} \u00c5/fs, 100 km/s): velocities are in "
                "\u00c5/fs (LAMMPS real units); is the file from a run in other units (metal: "
                "\u00c5/ps, a thousand times larger)?",
                atom + 1, plain_number(fastest), plain_number(FASTEST_ATOM_ANG_PER_FS));
        }
    }
    const double temperature = kept_temperature(velocities, system);
    if (!run_temperature) {
        diagnostics.note(DiagnosticKind::KeptVelocities,
                         "the velocities kept from the coordinate file make about {:.0f} K",
                         temperature);
    } else if (!(temperature * KEPT_TEMPERATURE_FACTOR >= *run_temperature &&
                 temperature <= *run_temperature * KEPT_TEMPERATURE_FACTOR)) {
        diagnostics.warn(DiagnosticKind::KeptVelocities,
                         "the velocities kept from the coordinate file make about {:.0f} K, but "
                         "the run is at {} K: in.lmp starts from them, without drawing new ones "
                         "(are they in other units than \u00c5/fs, or from another run?)",
                         temperature, plain_number(*run_temperature));
    } else {
        diagnostics.note(DiagnosticKind::KeptVelocities,
                         "the velocities kept from the coordinate file make about {:.0f} K; the "
                         "run is at {} K",
                         temperature, plain_number(*run_temperature));
    }
    return {};
}

}  // namespace boxwright
