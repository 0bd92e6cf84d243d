#include "pipeline/plausibility.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/numbers.hpp"
#include "base/units.hpp"
#include "base/vec3.hpp"

namespace boxwright {
namespace {

using Kind = DiagnosticKind;

// Below this a density is most likely in g/cm³ (water is 1.0 there).
constexpr double DENSITY_IN_G_PER_CM3_BELOW = 5;
// Lennard-Jones wells of atoms and united atoms: the noble gases, TraPPE and OPLS sites have some
// 10 to 250 K, coarse beads up to some 600 K. Only TraPPE's quaternary carbon, hidden inside its
// neighbours, has less than 2 K (0.5 K), and it is 6.4 Å wide: a well that shallow on an ordinary
// site is in kcal/mol or kJ/mol.
constexpr double EPSILON_FLOOR_K = 2;
constexpr double SIGMA_OF_SHALLOW_WELLS_MIN_ANG = 5;
constexpr double EPSILON_MAX_K = 1500;
constexpr double KJ_PER_KCAL = 4.184;
// σ of atoms and united atoms: up to 6.4 Å (TraPPE's quaternary carbon); under 1 Å only for the
// small hydrogens of some water models (CHARMM's TIP3P: 0.4 Å, 23 K). A narrow site with a deep
// well is a σ in nm.
constexpr double SIGMA_FLOOR_ANG = 1;
constexpr double EPSILON_OF_SMALL_SITES_MAX_K = 30;
constexpr double SIGMA_MAX_ANG = 10;
// Bond lengths: H-H 0.74 Å to I-I 2.67 Å.
constexpr double BOND_MIN_ANG = 0.6;
constexpr double BOND_MAX_ANG = 3;
// Masses are written with their element's standard atomic weight, perhaps rounded: a mass further
// than this from every element, united atom and one-site molecule is a slip (hydrogen at 1.08).
constexpr double MASS_TOLERANCE = 0.1;

struct NamedMass {
    std::string_view name;
    double mass;  // g/mol
};

// Standard atomic weights (IUPAC, abridged): the elements of molecular models, H to Xe and a few
// heavier ones. Written out, as no library Debian ships offers a small periodic table.
constexpr std::array<NamedMass, 60> ELEMENTS = {{
    {"H", 1.008},   {"D", 2.014},   {"He", 4.0026}, {"Li", 6.94},   {"Be", 9.0122}, {"B", 10.81},
    {"C", 12.011},  {"N", 14.007},  {"O", 15.999},  {"F", 18.998},  {"Ne", 20.180}, {"Na", 22.990},
    {"Mg", 24.305}, {"Al", 26.982}, {"Si", 28.085}, {"P", 30.974},  {"S", 32.06},   {"Cl", 35.45},
    {"Ar", 39.948}, {"K", 39.098},  {"Ca", 40.078}, {"Sc", 44.956}, {"Ti", 47.867}, {"V", 50.942},
    {"Cr", 51.996}, {"Mn", 54.938}, {"Fe", 55.845}, {"Co", 58.933}, {"Ni", 58.693}, {"Cu", 63.546},
    {"Zn", 65.38},  {"Ga", 69.723}, {"Ge", 72.630}, {"As", 74.922}, {"Se", 78.971}, {"Br", 79.904},
    {"Kr", 83.798}, {"Rb", 85.468}, {"Sr", 87.62},  {"Y", 88.906},  {"Zr", 91.224}, {"Nb", 92.906},
    {"Mo", 95.95},  {"Ru", 101.07}, {"Rh", 102.91}, {"Pd", 106.42}, {"Ag", 107.87}, {"Cd", 112.41},
    {"In", 114.82}, {"Sn", 118.71}, {"Sb", 121.76}, {"Te", 127.60}, {"I", 126.90},  {"Xe", 131.29},
    {"Cs", 132.91}, {"Ba", 137.33}, {"Pt", 195.08}, {"Au", 196.97}, {"Hg", 200.59}, {"Pb", 207.2},
}};

// Molecules that models commonly treat as one Lennard-Jones site.
constexpr std::array<NamedMass, 8> ONE_SITE_MOLECULES = {{
    {"N2", 28.014},
    {"O2", 31.998},
    {"CO", 28.010},
    {"CO2", 44.009},
    {"H2O", 18.015},
    {"Cl2", 70.90},
    {"CCl4", 153.82},
    {"SF6", 146.06},
}};

constexpr double HYDROGEN = 1.008;
constexpr int MAX_UNITED_HYDROGENS = 4;

// The element, united atom (CH3, NH2, OH: an element with up to four hydrogens) or one-site
// molecule whose mass is nearest to `mass`.
std::pair<std::string, double> nearest_site(double mass) {
    std::pair<std::string, double> nearest{"", INFINITY};
    auto consider = [&](std::string name, double candidate) {
        if (std::fabs(candidate - mass) < std::fabs(nearest.second - mass)) {
            nearest = {std::move(name), candidate};
        }
    };
    for (const auto& element : ELEMENTS) {
        consider(std::string(element.name), element.mass);
        if (element.name == "H" || element.name == "D") continue;
        for (int n = 1; n <= MAX_UNITED_HYDROGENS; ++n) {
            consider(fmt::format("{}H{}", element.name, n == 1 ? "" : std::to_string(n)),
                     element.mass + n * HYDROGEN);
        }
    }
    for (const auto& molecule : ONE_SITE_MOLECULES)
        consider(std::string(molecule.name), molecule.mass);
    return nearest;
}

class InputChecks {
  public:
    InputChecks(const BuildRequest& request, const ResolvedSystem& system, Diagnostics& diagnostics)
        : request_(request), system_(system), diagnostics_(diagnostics) {}

    void run() {
        packing_density();
        lennard_jones();
        masses();
        for (const auto& pair : system_.active()) bond_lengths(*pair.resolved.molecule);
    }

  private:
    // The pseudo atoms of the build, in type order, with their parameters.
    template <class Visit>
    void each_atom_type(Visit visit) const {
        for (const auto& entry : system_.species.registries.atoms.entries()) {
            visit(entry.key, system_.force_field().checked_pseudo_atom(entry.key));
        }
    }

    void packing_density() {
        const auto* packing = std::get_if<PackmolPlacement>(&request_.placement);
        if (!packing) return;
        const double density = packing->density;
        if (density > PLAUSIBLE_DENSITY_MAX) {
            diagnostics_.warn(
                Kind::Density,
                "the density {} kg/m\u00b3 is above any molecular liquid's (at most {} "
                "kg/m\u00b3): "
                "is it in g/m\u00b3? The density is in kg/m\u00b3",
                plain_number(density), plain_number(PLAUSIBLE_DENSITY_MAX));
        } else if (density < PLAUSIBLE_DENSITY_MIN) {
            const auto in_g_per_cm3 =
                density < DENSITY_IN_G_PER_CM3_BELOW
                    ? fmt::format("is it in g/cm\u00b3? {} g/cm\u00b3 is {} kg/m\u00b3",
                                  plain_number(density),
                                  plain_number(density * KG_PER_M3_PER_G_PER_CM3))
                    : std::string("if a dilute gas is meant, this is its density");
            diagnostics_.warn(
                Kind::Density,
                "the density {} kg/m\u00b3 is below any liquid's or dense gas's ({} to {} "
                "kg/m\u00b3): {}",
                plain_number(density), plain_number(PLAUSIBLE_DENSITY_MIN),
                plain_number(PLAUSIBLE_DENSITY_MAX), in_g_per_cm3);
        }
    }

    void lennard_jones() {
        each_atom_type([&](const std::string& name, const PseudoAtomParams& p) {
            if (p.self_interaction)
                well(fmt::format("pseudo atom '{}'", name), p.epsilon_k, p.sigma_ang);
        });
        // Only the pairs the build writes: an entry of types it does not use changes nothing.
        const auto& atoms = system_.species.registries.atoms;
        std::vector<NamePair> pairs;
        for (const auto& [key, params] : system_.force_field().binary_interactions) {
            if (atoms.find(key[0]) && atoms.find(key[1])) pairs.push_back(key);
        }
        std::ranges::sort(pairs);  // the map's order is no order for a report
        for (const auto& key : pairs) {
            const auto& params = *system_.force_field().binary(key);
            well(fmt::format("the BinaryInteractions entry {}-{}", key[0], key[1]),
                 params.epsilon_k, params.sigma_ang);
        }
        for (std::size_t finding = 0; finding < WELL_FINDINGS.size(); ++finding) {
            if (well_findings_[finding] <= SHOWN_ALIKE) continue;
            diagnostics_.warn(Kind::LennardJones, "... and {} more like it ({})",
                              well_findings_[finding] - SHOWN_ALIKE, WELL_FINDINGS[finding]);
        }
    }

    // One Lennard-Jones well, of an atom or a pair. A bare charge (epsilon 0) has none to check.
    // Each finding is told for the first few wells only, the others are counted.
    void well(const std::string& what, double epsilon_k, double sigma_ang) {
        if (!(epsilon_k > 0)) return;
        const auto finding = well_finding(epsilon_k, sigma_ang);
        if (!finding || ++well_findings_[*finding] > SHOWN_ALIKE) return;
        switch (*finding) {
            case WIDE:
                diagnostics_.warn(
                    Kind::LennardJones,
                    "{} has sigma {} \u00c5, wider than any atom or united atom (at most {} "
                    "\u00c5): are epsilon and sigma swapped? The parameters are [epsilon/k_B in "
                    "K, sigma in \u00c5]",
                    what, plain_number(sigma_ang), plain_number(SIGMA_MAX_ANG));
                return;
            case DEEP:
                diagnostics_.warn(
                    Kind::LennardJones,
                    "{} has epsilon {} K, deeper than any atom's or united atom's well (at most "
                    "{} K): is it in J/mol? The parameters are [epsilon/k_B in K, sigma in "
                    "\u00c5]",
                    what, plain_number(epsilon_k), plain_number(EPSILON_MAX_K));
                return;
            case SHALLOW:
                diagnostics_.warn(
                    Kind::LennardJones,
                    "{} has epsilon {} K, shallower than any atom's or united atom's well of its "
                    "size: is it in kcal/mol ({} kcal/mol is {:.1f} K) or kJ/mol ({:.1f} K)? The "
                    "parameters are [epsilon/k_B in K, sigma in \u00c5]",
                    what, plain_number(epsilon_k), plain_number(epsilon_k),
                    epsilon_k / KB_KCAL_PER_K, epsilon_k / KB_KCAL_PER_K / KJ_PER_KCAL);
                return;
            case NARROW:
                diagnostics_.warn(
                    Kind::LennardJones,
                    "{} has sigma {} \u00c5 with epsilon {} K, narrower than any atom or united "
                    "atom with such a well: is sigma in nm ({} nm is {} \u00c5)? The parameters "
                    "are [epsilon/k_B in K, sigma in \u00c5]",
                    what, plain_number(sigma_ang), plain_number(epsilon_k), plain_number(sigma_ang),
                    plain_number(sigma_ang * 10));
                return;
        }
    }

    enum WellFinding : std::size_t { WIDE, DEEP, SHALLOW, NARROW };
    static constexpr std::array<std::string_view, 4> WELL_FINDINGS = {
        "sigma too wide", "epsilon too deep", "epsilon too shallow", "sigma too narrow"};
    // A force field of hundreds of types repeats one slip hundreds of times.
    static constexpr std::size_t SHOWN_ALIKE = 3;

    static std::optional<WellFinding> well_finding(double epsilon_k, double sigma_ang) {
        if (sigma_ang > SIGMA_MAX_ANG) return WIDE;
        if (epsilon_k > EPSILON_MAX_K) return DEEP;
        if (epsilon_k < EPSILON_FLOOR_K && sigma_ang <= SIGMA_OF_SHALLOW_WELLS_MIN_ANG)
            return SHALLOW;
        if (sigma_ang < SIGMA_FLOOR_ANG && epsilon_k > EPSILON_OF_SMALL_SITES_MAX_K) return NARROW;
        return std::nullopt;
    }

    void masses() {
        std::size_t misfits = 0;
        each_atom_type([&](const std::string& name, const PseudoAtomParams& p) {
            if (!(p.mass > 0)) return;  // the report says LAMMPS refuses it
            const auto [site, mass] = nearest_site(p.mass);
            if (std::fabs(mass - p.mass) <= MASS_TOLERANCE || ++misfits > SHOWN_ALIKE) return;
            diagnostics_.warn(
                Kind::Mass,
                "pseudo atom '{}' has mass {} g/mol, which fits no element, united atom or "
                "one-site molecule (the nearest is {}, {} g/mol): a slip, or a hydrogen other than "
                "{} g/mol?",
                name, plain_number(p.mass), site, plain_number(mass), plain_number(HYDROGEN));
        });
        if (misfits > SHOWN_ALIKE) {
            diagnostics_.warn(Kind::Mass, "... and {} more like it (a mass that fits no site)",
                              misfits - SHOWN_ALIKE);
        }
    }

    // The bonds of the molecule file, as its coordinates place them and as its Bonds entries set
    // them; one warning for each, naming the first bond out of range.
    void bond_lengths(const Molecule& molecule) {
        for (const auto& [i, j] : molecule.connectivity) {
            const auto& a = molecule.pseudo_atoms[i];
            const auto& b = molecule.pseudo_atoms[j];
            const double length = distance(a.position, b.position);
            if (bond_in_range(length)) continue;
            diagnostics_.warn(
                Kind::BondLength,
                "molecule '{}': atoms {} ({}) and {} ({}) are bonded {:.3f} \u00c5 apart, outside "
                "what bonds have ({} to {} \u00c5): {} Molecule files take \u00c5",
                molecule.name, i, a.name, j, b.name, length, plain_number(BOND_MIN_ANG),
                plain_number(BOND_MAX_ANG), unit_guess(length));
            break;
        }
        for (const auto& entry : molecule.bonds) {
            if (entry.parameters.size() != 2 || bond_in_range(entry.parameters[1])) continue;
            diagnostics_.warn(
                Kind::BondLength,
                "molecule '{}': the Bonds entry {}-{} has r0 {} \u00c5, outside what bonds have "
                "({} to {} \u00c5): {} Bonds take [k in K/\u00c5\u00b2, r0 in \u00c5]",
                molecule.name, entry.names[0], entry.names[1], plain_number(entry.parameters[1]),
                plain_number(BOND_MIN_ANG), plain_number(BOND_MAX_ANG),
                unit_guess(entry.parameters[1]));
            break;
        }
    }

    static bool bond_in_range(double length) {
        return length >= BOND_MIN_ANG && length <= BOND_MAX_ANG;
    }

    static std::string_view unit_guess(double length) {
        if (length < BOND_MIN_ANG) return "in nm?";
        return length > 10 * BOND_MAX_ANG ? "in pm?" : "are the two meant to be bonded?";
    }

    const BuildRequest& request_;
    const ResolvedSystem& system_;
    Diagnostics& diagnostics_;
    std::array<std::size_t, WELL_FINDINGS.size()> well_findings_{};
};

}  // namespace

void check_input_plausibility(const BuildRequest& request, const ResolvedSystem& system,
                              Diagnostics& diagnostics) {
    InputChecks(request, system, diagnostics).run();
}

void check_given_density(double density, Diagnostics& diagnostics) {
    if (!(density > PLAUSIBLE_DENSITY_MAX)) return;
    diagnostics.warn(Kind::Density,
                     fmt::format("the coordinates and their box make a density of {:.0f} "
                                 "kg/m\u00b3, above any molecular liquid's (at most {} "
                                 "kg/m\u00b3): are the box or the coordinates in nm? Lengths are "
                                 "in \u00c5",
                                 density, plain_number(PLAUSIBLE_DENSITY_MAX)));
}

}  // namespace boxwright
