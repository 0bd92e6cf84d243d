#include "pipeline/four_site_water.hpp"

#include <algorithm>

#include "base/numbers.hpp"
#include "lammps/molecule_shape.hpp"

namespace boxwright {
namespace {

Result<void> check_m_site(const ActivePair& pair, Diagnostics& diagnostics) {
    const Molecule& molecule = *pair.resolved.molecule;
    if (!molecule.m_site || !bent_triatomic(pair.resolved)) return {};
    const double m_site = *molecule.m_site;
    // The bonds as the run holds them; the M site must stay inside the water.
    const auto& bonds = pair.resolved.bonds;
    const double o_h = std::min(bonds[0].record.r0, bonds[1].record.r0);
    if (!(m_site < o_h)) {
        return fail(
            "molecule '{}' puts its M site {:g} \u00c5 from O (MSite), at or beyond its O-H bond "
            "of {:.4g} \u00c5: LAMMPS cannot run such a water (MSite is in \u00c5; TIP4P/2005's "
            "is 0.1546)",
            molecule.name, m_site, o_h);
    }
    if (m_site < M_SITE_PLAUSIBLE_MIN_ANG || m_site > M_SITE_PLAUSIBLE_MAX_ANG) {
        diagnostics.warn(
            DiagnosticKind::PresetAndCharges,
            "molecule '{}' puts its M site {:g} \u00c5 from O (MSite), outside what four-site "
            "waters have ({} to {} \u00c5): is it in other units than \u00c5, or a slip?",
            molecule.name, m_site, plain_number(M_SITE_PLAUSIBLE_MIN_ANG),
            plain_number(M_SITE_PLAUSIBLE_MAX_ANG));
    }
    return {};
}

// The water the Tip4p preset runs is the one tip4p_water_types numbers; LAMMPS must accept it.
// Without one, a species that declares an M site tells best why none is.
Result<void> check_tip4p_water(const ResolvedSystem& system) {
    const auto active = system.active();
    const auto& registries = system.species.registries;
    const auto water = tip4p_water_types(active, registries);
    for (const auto& pair : active) {
        const Molecule& molecule = *pair.resolved.molecule;
        const auto shape = bent_triatomic(pair.resolved);
        const bool runs_as_water = water && shape && molecule.rigid &&
                                   registries.atoms.type_number(
                                       molecule.pseudo_atoms[shape->centre].name) == water->oxygen;
        if (!runs_as_water && (water || !molecule.m_site)) continue;
        if (const auto refusal = tip4p_refusal(pair, active, system.force_field())) {
            return fail(
                "pair style Tip4p needs a water that lj/cut/tip4p/long can run, but molecule "
                "'{}' {}",
                molecule.name, *refusal);
        }
        if (runs_as_water) return {};
    }
    if (water) return {};
    return fail(
        "pair style Tip4p needs a water (rigid, three atoms, the two of one type bonded to the "
        "third at a bent angle), and no species is one: LAMMPS refuses lj/cut/tip4p/long without "
        "it (choose LjCutCoulLong, or auto)");
}

}  // namespace

Result<void> check_four_site_waters(const BuildRequest& request, const ResolvedSystem& system,
                                    Diagnostics& diagnostics) {
    if (!request.declared_m_site) return {};
    for (const auto& pair : system.active()) BW_TRY_VOID(check_m_site(pair, diagnostics));
    if (system.pair_setup != PairSetup::Tip4p) return {};
    return check_tip4p_water(system);
}

}  // namespace boxwright
