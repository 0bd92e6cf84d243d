#include "pipeline/build_checks.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/numbers.hpp"
#include "lammps/constraints.hpp"
#include "lammps/molecule_shape.hpp"
#include "pipeline/contact.hpp"
#include "pipeline/plausibility.hpp"

namespace boxwright {
namespace {

// 2π over √(kcal/mol / (g/mol Å²)) in fs: 2π / √(4184 J/mol / (1e-3 kg/mol 1e-20 m²)).
constexpr double PERIOD_FS_PER_SQRT_G_MOL_PER_KCAL_MOL_ANG2 = 307.17;
// A vibration needs at least this many timesteps per period to be integrated.
constexpr int MIN_STEPS_PER_PERIOD = 10;
// A net charge below this is rounding in the charges of the force field, not a charged system.
constexpr double NEUTRAL_WITHIN_E = 1e-6;
// Atoms of different molecules closer than this overlap: no force field lets them get there.
constexpr double OVERLAP_ANG = 1.0;

// A charge as a reader wants it: to a millionth of e, without trailing zeros ("0.35", "-1").
std::string charge_text(double charge) {
    const double rounded = std::round(charge * 1e6) / 1e6;
    return plain_number(rounded == 0 ? 0 : rounded);
}

class Checks {
  public:
    Checks(const FinishedBuild& build, const BuildReport& report, Diagnostics& diagnostics)
        : build_(build), report_(report), diagnostics_(diagnostics) {}

    void run() {
        net_charge();
        charges_and_preset();
        pseudo_atoms();
        flexible_molecules();
        cutoff_and_box();
        given_density();
        overlaps();
        packing_tolerance();
    }

  private:
    using Kind = DiagnosticKind;

    // The pseudo atoms of the build that satisfy `keep`, in type order, joined by ", ".
    template <class Keep>
    std::string atom_types_where(Keep keep) const {
        std::vector<std::string> names;
        for (const auto& entry : build_.registries.atoms.entries()) {
            if (keep(build_.force_field.checked_pseudo_atom(entry.key)))
                names.push_back("'" + entry.key + "'");
        }
        return fmt::format("{}", fmt::join(names, ", "));
    }

    void net_charge() {
        if (!(std::fabs(report_.net_charge) > NEUTRAL_WITHIN_E)) return;
        std::vector<std::string> per_molecule;
        per_molecule.reserve(report_.species.size());
        for (const auto& s : report_.species) {
            per_molecule.push_back(fmt::format("{} {}", s.name, charge_text(s.charge)));
        }
        diagnostics_.warn(
            Kind::NetCharge,
            "the system carries a net charge of {} e (per molecule: {}); LAMMPS runs it with "
            "only a note that it is not charge neutral",
            charge_text(report_.net_charge), fmt::join(per_molecule, ", "));
    }

    void charges_and_preset() {
        const auto charged = atom_types_where([](const auto& p) { return p.charge != 0; });
        const auto preset = build_.pair_setup;
        if (preset && !has_coulomb_term(*preset) && !charged.empty()) {
            diagnostics_.warn(
                Kind::PresetAndCharges,
                "pair style {} has no Coulomb term: the charges of {} are dropped (choose "
                "LjCutCoulLong, or auto)",
                display_name(*preset), charged);
        }
        if (preset && has_long_range_solver(*preset) && charged.empty()) {
            diagnostics_.warn(
                Kind::PresetAndCharges,
                "pair style {} sets a long-range Coulomb solver, but no atom carries a charge: "
                "LAMMPS refuses to run it (choose LjCut, or auto)",
                display_name(*preset));
        }
        if (preset == PairSetup::Tip4p && !tip4p_water_types(build_.active, build_.registries)) {
            diagnostics_.warn(
                Kind::PresetAndCharges,
                "pair style Tip4p, but no species is a TIP4P water (rigid, three atoms, the two "
                "bonded to the third at a bent angle and of one type): lj/cut/tip4p/long keeps "
                "the types 1 2 1 1");
        }
        m_sites(preset);
    }

    // A four-site water runs as its paper has it only with the TIP4P preset, and the preset adds
    // an M site to any water it finds.
    void m_sites(std::optional<PairSetup> preset) {
        const auto tip4p = tip4p_water_types(build_.active, build_.registries);
        for (const auto& pair : build_.active) {
            const Molecule& molecule = *pair.resolved.molecule;
            if (!molecule.m_site) continue;
            const auto shape = bent_triatomic(pair.resolved);
            if (const auto refusal = tip4p_refusal(pair, build_.active, build_.force_field)) {
                diagnostics_.warn(Kind::PresetAndCharges,
                                  "molecule '{}' declares an M site (MSite), but it {}: the M "
                                  "site is left out",
                                  molecule.name, *refusal);
            } else if (preset != PairSetup::Tip4p && preset && has_coulomb_term(*preset)) {
                diagnostics_.warn(
                    Kind::PresetAndCharges,
                    "molecule '{}' is a four-site water (MSite {} \u00c5), but pair style {} has "
                    "no M site: the M site's charge sits on O and the model is not its paper's "
                    "(choose Tip4p, or auto)",
                    molecule.name, plain_number(*molecule.m_site), display_name(*preset));
            } else if (preset == PairSetup::Tip4p && tip4p && pair.count > 0 &&
                       build_.registries.atoms.type_number(
                           molecule.pseudo_atoms[shape->centre].name) != tip4p->oxygen) {
                // The pair style gives an M site to one pair of types only.
                diagnostics_.warn(
                    Kind::PresetAndCharges,
                    "pair style Tip4p gives an M site to one water only, of type {}: '{}' (MSite "
                    "{} \u00c5) runs with its M site's charge on O, which is not its paper's "
                    "model (build the two four-site waters apart)",
                    tip4p->oxygen, molecule.name, plain_number(*molecule.m_site));
            }
        }
        if (preset == PairSetup::Tip4p && tip4p &&
            !declares_four_site_water(build_.active, build_.force_field)) {
            diagnostics_.warn(
                Kind::PresetAndCharges,
                "pair style Tip4p adds an M site {} \u00c5 from O to a water that declares none "
                "(MSite in its molecule file): if the model has no M site, choose LjCutCoulLong "
                "or auto",
                plain_number(tip4p->m_site));
        }
    }

    void pseudo_atoms() {
        for (const auto& entry : build_.registries.atoms.entries()) {
            const auto& params = build_.force_field.checked_pseudo_atom(entry.key);
            if (!params.self_interaction) {
                diagnostics_.warn(
                    Kind::PseudoAtom,
                    "pseudo atom '{}' has no SelfInteractions entry, so no Lennard-Jones core "
                    "(written as epsilon 0, sigma 0); is its name misspelt there?",
                    entry.key);
            }
            if (!(params.mass > 0)) {
                diagnostics_.warn(
                    Kind::PseudoAtom,
                    "pseudo atom '{}' has mass {}: LAMMPS refuses a mass of zero or below",
                    entry.key, plain_number(params.mass));
            }
        }
    }

    void flexible_molecules() {
        std::optional<Stiffest> stiffest;
        for (const auto& pair : build_.active) {
            const Molecule& molecule = *pair.resolved.molecule;
            if (molecule.rigid) continue;
            const auto held = hold_for(pair.resolved, build_.registries, build_.force_field);
            if (held.fixed_bonds_unheld) {
                diagnostics_.warn(
                    Kind::FlexibleMolecule,
                    "molecule '{}' is flexible, and the bonds it holds fixed (to a charged site "
                    "without epsilon or sigma, or named in FixedBonds) form chains that SHAKE "
                    "cannot hold (one atom and at most three bonded to it): they stay flexible, "
                    "and a bare charge can fall onto a neighbouring one (declare the molecule "
                    "rigid, or give the site a Lennard-Jones core)",
                    molecule.name);
            }
            missing_torsions(pair.resolved);
            stiffest_among(pair.resolved, held, stiffest);
        }
        if (stiffest && build_.timestep_fs) say_stiffest(*stiffest, *build_.timestep_fs);
    }

    struct Stiffest {
        double period_fs;
        std::string bond, molecule;
    };

    // Bonds held by SHAKE do not vibrate; the others are candidates.
    void stiffest_among(const ResolvedMolecule& resolved, const SpeciesHold& held,
                        std::optional<Stiffest>& stiffest) const {
        for (const auto& bond : resolved.bonds) {
            const auto& t = bond.record.types;
            const auto type = build_.registries.bonds.type_number(norm_pair(t[0], t[1]));
            if (std::ranges::find(held.bond_types, type) != held.bond_types.end()) continue;
            const double period = bond_period_fs(bond.record);
            if (!stiffest || period < stiffest->period_fs) {
                stiffest =
                    Stiffest{period, fmt::format("{}-{}", t[0], t[1]), resolved.molecule->name};
            }
        }
    }

    // A bond that vibrates in fewer than ten timesteps is not integrated: the run heats up or
    // blows apart.
    void say_stiffest(const Stiffest& stiffest, double timestep_fs) {
        if (!std::isfinite(stiffest.period_fs)) return;
        const double steps = stiffest.period_fs / timestep_fs;
        const auto text = fmt::format(
            "the stiffest flexible bond, {} of molecule '{}', vibrates with a period of {:.1f} fs: "
            "{:.1f} timesteps of {} fs",
            stiffest.bond, stiffest.molecule, stiffest.period_fs, steps, plain_number(timestep_fs));
        if (steps < MIN_STEPS_PER_PERIOD) {
            diagnostics_.warn(
                Kind::FlexibleMolecule,
                "{}; under {} the run cannot follow it (shorten the timestep, or hold the bond "
                "fixed with FixedBonds)",
                text, MIN_STEPS_PER_PERIOD);
        } else {
            diagnostics_.note(Kind::FlexibleMolecule, "{}", text);
        }
    }

    // 2π √(μ / 2K), K of LAMMPS's K (r - r0)² in kcal/(mol Å²), μ the reduced mass in g/mol.
    double bond_period_fs(const ResolvedBond& bond) const {
        const double m1 = build_.force_field.checked_pseudo_atom(bond.types[0]).mass;
        const double m2 = build_.force_field.checked_pseudo_atom(bond.types[1]).mass;
        const double reduced_mass = m1 * m2 / (m1 + m2);
        return PERIOD_FS_PER_SQRT_G_MOL_PER_KCAL_MOL_ANG2 * std::sqrt(reduced_mass / (2 * bond.k));
    }

    // Derived dihedrals come in a fixed order and the resolved ones keep it: those between the
    // resolved ones had no Torsions entry.
    void missing_torsions(const ResolvedMolecule& resolved) {
        const Molecule& molecule = *resolved.molecule;
        const auto derived = molecule.derived_dihedrals();
        if (derived.size() == resolved.dihedrals.size()) return;
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;
        std::size_t next = 0;
        for (const auto& quad : derived) {
            if (next < resolved.dihedrals.size() && resolved.dihedrals[next].atoms == quad) {
                ++next;
                continue;
            }
            const auto& a = molecule.pseudo_atoms;
            const auto key =
                norm_quad(a[quad[0]].name, a[quad[1]].name, a[quad[2]].name, a[quad[3]].name);
            auto name = fmt::format("{}", fmt::join(key, "-"));
            if (seen.insert(name).second) names.push_back(std::move(name));
        }
        diagnostics_.warn(
            Kind::FlexibleMolecule,
            "molecule '{}' leaves out the dihedrals that have no Torsions entry: {} of {} ({})",
            molecule.name, derived.size() - resolved.dihedrals.size(), derived.size(),
            fmt::join(names, ", "));
    }

    void cutoff_and_box() {
        const double cutoff_vdw = build_.force_field.cutoff_vdw;
        const auto preset = build_.pair_setup;
        // A cutoff asked for leaves the force field's unused.
        if (preset && cutoff_vdw != PRESET_CUTOFF && !build_.pair_settings.cutoff) {
            if (build_.input_script) {
                diagnostics_.note(
                    Kind::Cutoff,
                    "the force field's CutOffVDW is {} \u00c5, the {} preset's cutoff {} \u00c5: "
                    "in.lmp gives the pair style again with {} \u00c5, which keeps the "
                    "coefficients",
                    plain_number(cutoff_vdw), display_name(*preset), plain_number(PRESET_CUTOFF),
                    plain_number(cutoff_vdw));
            } else {
                diagnostics_.warn(
                    Kind::Cutoff,
                    "the force field's CutOffVDW is {} \u00c5, but forcefield.lmp has the {} "
                    "preset's {} \u00c5: give the pair style again with your cutoff after "
                    "including it (LAMMPS keeps the coefficients)",
                    plain_number(cutoff_vdw), display_name(*preset), plain_number(PRESET_CUTOFF));
            }
        }
        // The longest cutoff of the run: the preset's unless in.lmp gives others; without a
        // preset the force field's is the best guess.
        double cutoff = cutoff_vdw;
        if (preset) {
            cutoff = build_.input_script
                         ? run_cutoffs(*preset, cutoff_vdw, build_.pair_settings).longest()
                         : PRESET_CUTOFF;
        }
        // LAMMPS counts every periodic image within the cutoff, so this is a fact, not a fault.
        const double edge = report_.summary.box_length;
        if (edge < 2 * cutoff) {
            diagnostics_.note(
                Kind::Cutoff,
                "the box edge {:.3f} \u00c5 is under twice the cutoff of {} \u00c5: an atom meets "
                "some neighbours in more than one periodic image (pack more molecules, or "
                "shorten the cutoff)",
                edge, plain_number(cutoff));
        }
    }

    void given_density() {
        if (build_.given_coordinates) check_given_density(report_.density, diagnostics_);
    }

    void overlaps() {
        const auto& contact = report_.closest_contact;
        if (!build_.given_coordinates || !contact || !(contact->distance < OVERLAP_ANG)) return;
        diagnostics_.warn(
            Kind::Overlap,
            "{}: atoms of different molecules closer than {} \u00c5 overlap in the given "
            "coordinates",
            contact_text(*contact, build_.active), plain_number(OVERLAP_ANG));
    }

    // Reached only by a packing kept although imperfect; any other fails before it is written.
    void packing_tolerance() {
        const auto& contact = report_.closest_contact;
        if (!build_.packing_tolerance || !contact) return;
        const double tolerance = *build_.packing_tolerance;
        if (!(contact->distance < tolerance - PACKING_TOLERANCE_SLACK_ANG)) return;
        diagnostics_.warn(Kind::PackingTolerance,
                          "{}, closer than the packing tolerance of {} \u00c5",
                          contact_text(*contact, build_.active), plain_number(tolerance));
    }

    const FinishedBuild& build_;
    const BuildReport& report_;
    Diagnostics& diagnostics_;
};

}  // namespace

void check_finished_build(const FinishedBuild& build, const BuildReport& report,
                          Diagnostics& diagnostics) {
    Checks(build, report, diagnostics).run();
}

}  // namespace boxwright
