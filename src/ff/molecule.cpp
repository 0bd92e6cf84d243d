#include "ff/molecule.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <string_view>

#include "base/names.hpp"
#include "base/numbers.hpp"
#include "base/quoted.hpp"
#include "base/utf8.hpp"
#include "ff/json_binding.hpp"

namespace boxwright {
namespace {

// The file as written, before any consistency check.
struct MoleculeRaw {
    std::optional<std::string> type;
    std::vector<PseudoAtom> pseudo_atoms;
    std::vector<Bond> connectivity;
    std::vector<BondedEntry<2>> bonds;
    std::vector<BondedEntry<3>> bends;
    std::vector<BondedEntry<4>> torsions;
    double m_site = std::numeric_limits<double>::quiet_NaN();  // NaN: no "MSite" (JSON has none)
    std::vector<std::array<std::string, 2>> fixed_bonds;
};

// [[names...], potential, [parameters...]]
template <std::size_t N>
json::Shape<BondedEntry<N>> bonded_entry() {
    using namespace json;
    auto words = fmt::format("a tuple of size {}", N);
    return tuple<BondedEntry<N>>({
        required("names", &BondedEntry<N>::names, fixed_array<std::string, N>(a_string(), words)),
        required("potential", &BondedEntry<N>::potential),
        required("parameters", &BondedEntry<N>::parameters),
    });
}

const json::Shape<MoleculeRaw>& molecule_shape() {
    using namespace json;
    static const auto shape = record<MoleculeRaw>(
        "MoleculeRaw",
        {
            optional("Type", &MoleculeRaw::type),
            required("pseudoAtoms", &MoleculeRaw::pseudo_atoms,
                     sequence_of(tuple<PseudoAtom>({
                         required("name", &PseudoAtom::name),
                         required("position", &PseudoAtom::position,
                                  fixed_array<double, 3>(f64(), "an array of length 3")),
                     }))),
            optional("Connectivity", &MoleculeRaw::connectivity,
                     sequence_of(fixed_array<AtomIndex, 2>(usize(), "an array of length 2"))),
            optional("Bonds", &MoleculeRaw::bonds, sequence_of(bonded_entry<2>())),
            optional("Bends", &MoleculeRaw::bends, sequence_of(bonded_entry<3>())),
            optional("Torsions", &MoleculeRaw::torsions, sequence_of(bonded_entry<4>())),
        },
        {optional("MSite", &MoleculeRaw::m_site),
         optional("FixedBonds", &MoleculeRaw::fixed_bonds,
                  sequence_of(fixed_array<std::string, 2>(a_string(), "an array of length 2")))},
        // Where the model comes from, for the reader of the file; documented, so never reported.
        {"source"});
    return shape;
}

// The last component of `path`, ignoring trailing separators and "." components; empty when
// there is none or it is "..".
std::string_view file_name(std::string_view path) {
    while (!path.empty()) {
        auto slash = path.rfind('/');
        auto last = slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (last.empty() || last == ".") {
            path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
            continue;
        }
        return last == ".." ? std::string_view() : last;
    }
    return {};
}

}  // namespace

std::string species_name_from_path(const std::string& path) {
    auto name = file_name(path);
    // A dot that is the name's first character starts a hidden file's name, not an extension.
    auto dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    if (name.empty() || !is_valid_utf8(name)) return "molecule";
    return std::string(name);
}

namespace {

Result<Molecule> load_checked(const std::string& path) {
    std::vector<UnknownKey> unknown_keys;
    BW_TRY(auto raw, json::load_file(path, molecule_shape(), &unknown_keys));
    const auto shown = lossy_utf8(path);

    const auto atoms = raw.pseudo_atoms.size();
    if (atoms == 0) return fail("{} defines no pseudoAtoms", shown);
    for (const auto& atom : raw.pseudo_atoms) BW_TRY_VOID(check_pseudo_atom_name(atom.name, shown));
    // Bonds are never guessed from the atom order: that is wrong for branched molecules.
    if (raw.connectivity.empty() && atoms >= 2) {
        return fail(
            "{} has {} pseudoAtoms but no Connectivity; multi-atom molecules must declare which "
            "atoms are bonded (auto-bonding by index order is not used because it is wrong for "
            "branched molecules, e.g. water)",
            shown, atoms);
    }
    // A bond listed twice would give angles with one atom at both ends and multiply the dihedrals.
    std::set<Bond> listed;
    for (const auto& [i, j] : raw.connectivity) {
        if (i >= atoms || j >= atoms) {
            return fail(
                "{} Connectivity references atom index out of range ({}, {}) for {} pseudoAtoms",
                shown, i, j, atoms);
        }
        if (!listed.insert({std::min(i, j), std::max(i, j)}).second) {
            return fail("{} Connectivity lists the bond ({}, {}) more than once", shown, i, j);
        }
    }

    Molecule molecule;
    molecule.name = species_name_from_path(path);
    // The species name is written into the comments of the LAMMPS files, like a pseudo-atom name.
    if (auto refusal = name_refusal("species name", molecule.name, shown)) return fail(*refusal);
    molecule.pseudo_atoms = std::move(raw.pseudo_atoms);
    molecule.connectivity = std::move(raw.connectivity);
    molecule.bonds = std::move(raw.bonds);
    molecule.bends = std::move(raw.bends);
    molecule.torsions = std::move(raw.torsions);
    molecule.rigid = raw.type && equals_ignoring_ascii_case(*raw.type, "rigid");
    molecule.fixed_bonds = std::move(raw.fixed_bonds);
    molecule.unknown_keys = std::move(unknown_keys);
    if (!std::isnan(raw.m_site)) {
        if (!(raw.m_site > 0) || !std::isfinite(raw.m_site)) {
            return fail("{} MSite must be a positive distance in \u00c5, got {}", shown,
                        plain_number(raw.m_site));
        }
        molecule.m_site = raw.m_site;
    }
    return molecule;
}

}  // namespace

Result<Molecule> Molecule::load(const std::string& path) {
    return load_checked(path).map_error(in_file(path));
}

}  // namespace boxwright
