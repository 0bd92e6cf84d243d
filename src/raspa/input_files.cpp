#include "raspa/input_files.hpp"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <string_view>

#include "base/names.hpp"
#include "base/vec3.hpp"

namespace boxwright {
namespace {

// RapidJSON's writer rather than text templates: names come from the user's files and must be
// escaped, and its numbers are the shortest that read back to the same double.
using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

// Volume moves per cycle in NPT: enough for a small box to reach its density within the few
// hundred cycles of a start, few enough that molecule moves dominate.
constexpr double VOLUME_MOVE_PROBABILITY = 0.05;

void key(Writer& out, std::string_view name) {
    out.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
}

void text(Writer& out, std::string_view value) {
    out.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

void number(Writer& out, std::string_view name, double value) {
    key(out, name);
    out.Double(value);
}

void numbers(Writer& out, std::span<const double> values) {
    out.StartArray();
    for (double value : values) out.Double(value);
    out.EndArray();
}

std::string finished(const rapidjson::StringBuffer& buffer) {
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

// A four-site water: rigid, three atoms, two bonds meeting at the oxygen, the hydrogens of one
// type, and a declared M site.
struct FourSiteWater {
    AtomIndex oxygen = 0;
    std::array<AtomIndex, 2> hydrogens{};
};

std::optional<FourSiteWater> four_site_water(const Molecule& molecule) {
    if (!molecule.m_site || !molecule.rigid || molecule.pseudo_atoms.size() != 3 ||
        molecule.connectivity.size() != 2) {
        return std::nullopt;
    }
    const Bond& first = molecule.connectivity[0];
    const Bond& second = molecule.connectivity[1];
    for (AtomIndex centre : first) {
        if (centre != second[0] && centre != second[1]) continue;
        const AtomIndex a = first[0] == centre ? first[1] : first[0];
        const AtomIndex b = second[0] == centre ? second[1] : second[0];
        if (molecule.pseudo_atoms[a].name != molecule.pseudo_atoms[b].name) return std::nullopt;
        return FourSiteWater{centre, {a, b}};
    }
    return std::nullopt;
}

// A molecule whose shape RASPA3 changes: not declared rigid, and with bonds to bend and twist.
bool is_flexible(const Molecule& molecule) {
    return !molecule.rigid && !molecule.connectivity.empty();
}

std::string m_site_name(const Molecule& molecule, const FourSiteWater& water) {
    return "M_" + molecule.pseudo_atoms[water.oxygen].name;
}

// Where LAMMPS's TIP4P styles put the M site: on the H-O-H bisector, `m_site` from the oxygen.
Position m_site_position(const Molecule& molecule, const FourSiteWater& water) {
    const auto& atoms = molecule.pseudo_atoms;
    const Position& o = atoms[water.oxygen].position;
    const Position bisector =
        (atoms[water.hydrogens[0]].position - o) + (atoms[water.hydrogens[1]].position - o);
    const double scale = *molecule.m_site / length(bisector);
    return {o[0] + bisector[0] * scale, o[1] + bisector[1] * scale, o[2] + bisector[2] * scale};
}

// Whether the bonds join every atom into one piece, as a rigid body in RASPA3 must be.
bool connected(std::size_t atoms, std::span<const Bond> bonds) {
    std::vector<std::size_t> root(atoms);
    std::iota(root.begin(), root.end(), std::size_t{0});
    const auto find = [&](std::size_t atom) {
        while (root[atom] != atom) atom = root[atom] = root[root[atom]];
        return atom;
    };
    std::size_t pieces = atoms;
    for (const auto& bond : bonds) {
        const std::size_t a = find(bond[0]), b = find(bond[1]);
        if (a != b) {
            root[a] = b;
            --pieces;
        }
    }
    return pieces <= 1;
}

// The entries that match the molecule's bonds (bends, torsions), each once however many it
// matches: RASPA3 refuses a bond that two entries match.
template <std::size_t N, class Tuples>
std::vector<const BondedEntry<N>*> matched_entries(const Molecule& molecule,
                                                   const std::vector<BondedEntry<N>>& entries,
                                                   const Tuples& tuples) {
    std::vector<const BondedEntry<N>*> matched;
    for (const auto& atoms : tuples) {
        const auto* entry = find_entry(entries, names_of(molecule, atoms));
        if (entry && std::ranges::find(matched, entry) == matched.end()) matched.push_back(entry);
    }
    return matched;
}

template <std::size_t N>
void entry_names(Writer& out, const BondedEntry<N>& entry) {
    out.StartArray();
    for (const auto& name : entry.names) text(out, name);
    out.EndArray();
}

bool is_fixed(const Molecule& molecule, const BondedEntry<2>& entry) {
    return std::ranges::any_of(molecule.fixed_bonds, [&](const auto& names) {
        return (names[0] == entry.names[0] && names[1] == entry.names[1]) ||
               (names[0] == entry.names[1] && names[1] == entry.names[0]);
    });
}

// Bonds, Bends and Torsions of a flexible molecule. Resolution has checked their potentials and
// parameter counts already: HARMONIC [k, x0] and TRAPPE [c0, c1, c2, c3], in kelvin.
void flexible_terms(Writer& out, const Molecule& molecule) {
    key(out, "Bonds");
    out.StartArray();
    for (const auto* entry : matched_entries(molecule, molecule.bonds, molecule.connectivity)) {
        out.StartArray();
        entry_names(out, *entry);
        if (is_fixed(molecule, *entry)) {
            // Held at its length, as SHAKE holds it in LAMMPS.
            text(out, "FIXED");
            numbers(out, std::span(entry->parameters).subspan(1, 1));
        } else {
            text(out, "HARMONIC");
            numbers(out, entry->parameters);
        }
        out.EndArray();
    }
    out.EndArray();
    key(out, "Bends");
    out.StartArray();
    for (const auto* entry : matched_entries(molecule, molecule.bends, molecule.derived_angles())) {
        out.StartArray();
        entry_names(out, *entry);
        text(out, "HARMONIC");
        numbers(out, entry->parameters);
        out.EndArray();
    }
    out.EndArray();
    key(out, "Torsions");
    out.StartArray();
    const auto dihedrals = molecule.derived_dihedrals();
    for (const auto* entry : matched_entries(molecule, molecule.torsions, dihedrals)) {
        out.StartArray();
        entry_names(out, *entry);
        text(out, "TRAPPE");
        // LAMMPS's OPLS form has no constant term: without c0 both programs agree on the energy.
        std::array<double, 4> c{0, entry->parameters[1], entry->parameters[2],
                                entry->parameters[3]};
        numbers(out, c);
        out.EndArray();
    }
    out.EndArray();
}

std::string molecule_text(const Molecule& molecule) {
    rapidjson::StringBuffer buffer;
    Writer out(buffer);
    out.SetFormatOptions(rapidjson::kFormatSingleLineArray);
    out.StartObject();
    key(out, "pseudoAtoms");
    out.StartArray();
    const auto atom = [&](std::string_view name, const Position& position) {
        out.StartArray();
        text(out, name);
        numbers(out, position);
        out.EndArray();
    };
    for (const auto& pseudo_atom : molecule.pseudo_atoms)
        atom(pseudo_atom.name, pseudo_atom.position);
    std::vector<Bond> bonds = molecule.connectivity;
    const auto water = four_site_water(molecule);
    if (water) {
        atom(m_site_name(molecule, *water), m_site_position(molecule, *water));
        bonds.push_back({water->oxygen, molecule.pseudo_atoms.size()});
    }
    const std::size_t sites = molecule.pseudo_atoms.size() + (water ? 1 : 0);
    out.EndArray();
    // A rigid molecule without bonds is rigid in RASPA3 as it is; with bonds, it is one rigid body,
    // which RASPA3 takes only when the bonds join all its atoms.
    const bool keep_bonds = is_flexible(molecule) || connected(sites, bonds);
    if (keep_bonds && !bonds.empty()) {
        key(out, "Connectivity");
        out.StartArray();
        for (const auto& bond : bonds) {
            out.StartArray();
            out.Uint64(bond[0]);
            out.Uint64(bond[1]);
            out.EndArray();
        }
        out.EndArray();
    }
    if (!is_flexible(molecule) && keep_bonds && !bonds.empty()) {
        key(out, "RigidBodies");
        out.StartArray();
        out.StartArray();
        for (std::size_t i = 0; i < sites; ++i) out.Uint64(i);
        out.EndArray();
        out.EndArray();
    }
    if (is_flexible(molecule)) flexible_terms(out, molecule);
    out.EndObject();
    return finished(buffer);
}

// A pseudo atom as RASPA3 gets it: a four-site water's oxygen without its charge, which its M
// site carries instead.
struct RaspaAtom {
    std::string name;
    double mass = 0, charge = 0, epsilon_k = 0, sigma_ang = 0;
    bool printed = true;
};

Result<std::vector<RaspaAtom>> raspa_atoms(std::span<const CountedMolecule> species,
                                           const ForceField& force_field) {
    std::vector<RaspaAtom> atoms;
    std::vector<std::string> oxygens;  // whose charge has moved to an M site
    const auto add = [&](const std::string& name) {
        if (std::ranges::any_of(atoms, [&](const RaspaAtom& a) { return a.name == name; })) return;
        const auto& params = force_field.checked_pseudo_atom(name);
        atoms.push_back({name, params.mass, params.charge, params.epsilon_k, params.sigma_ang});
    };
    for (const auto& counted : species) {
        const Molecule& molecule = *counted.molecule;
        for (const auto& pseudo_atom : molecule.pseudo_atoms) add(pseudo_atom.name);
        if (const auto water = four_site_water(molecule)) {
            const std::string& oxygen = molecule.pseudo_atoms[water->oxygen].name;
            const auto& params = force_field.checked_pseudo_atom(oxygen);
            const std::string m_name = m_site_name(molecule, *water);
            if (force_field.pseudo_atom(m_name)) {
                return fail(
                    "RASPA3 input: the M site of '{}' would be named '{}', which the "
                    "force field declares already",
                    molecule.name, m_name);
            }
            if (std::ranges::find(oxygens, oxygen) == oxygens.end()) {
                oxygens.push_back(oxygen);
                atoms.push_back({m_name, 0, params.charge, 0, 0, false});
            }
        }
    }
    for (auto& atom : atoms) {
        if (std::ranges::find(oxygens, atom.name) != oxygens.end()) atom.charge = 0;
    }
    // A pseudo atom that is a four-site water's oxygen in one species and a charged atom of its own
    // in another cannot be written both ways.
    for (const auto& counted : species) {
        const Molecule& molecule = *counted.molecule;
        if (four_site_water(molecule)) continue;
        for (const auto& pseudo_atom : molecule.pseudo_atoms) {
            if (std::ranges::find(oxygens, pseudo_atom.name) != oxygens.end() &&
                force_field.checked_pseudo_atom(pseudo_atom.name).charge != 0) {
                return fail(
                    "RASPA3 input: pseudo atom '{}' is a four-site water's oxygen and a "
                    "charged atom of '{}' too; give the water an oxygen of its own",
                    pseudo_atom.name, molecule.name);
            }
        }
    }
    return atoms;
}

std::string force_field_text(std::span<const RaspaAtom> atoms, const ForceField& force_field,
                             const RaspaConditions& conditions) {
    rapidjson::StringBuffer buffer;
    Writer out(buffer);
    out.SetFormatOptions(rapidjson::kFormatSingleLineArray);
    out.StartObject();
    key(out, "MixingRule");
    text(out, "Lorentz-Berthelot");
    // LAMMPS's lj/cut is truncated, not shifted, and forcefield.lmp asks for its tail correction.
    key(out, "TruncationMethod");
    text(out, "truncated");
    key(out, "TailCorrections");
    out.Bool(true);
    number(out, "CutOffVDW", conditions.cutoff_vdw);
    number(out, "CutOffCoulomb", conditions.cutoff_coulomb);
    key(out, "PseudoAtoms");
    out.StartArray();
    for (const auto& atom : atoms) {
        out.StartObject();
        key(out, "name");
        text(out, atom.name);
        key(out, "framework");
        out.Bool(false);
        key(out, "print_to_output");
        out.Bool(atom.printed);
        key(out, "element");
        text(out, "");
        key(out, "print_as");
        text(out, "");
        number(out, "mass", atom.mass);
        number(out, "charge", atom.charge);
        out.EndObject();
    }
    out.EndArray();
    key(out, "SelfInteractions");
    out.StartArray();
    for (const auto& atom : atoms) {
        out.StartObject();
        key(out, "name");
        text(out, atom.name);
        key(out, "type");
        text(out, "lennard-jones");
        key(out, "parameters");
        numbers(out, std::array{atom.epsilon_k, atom.sigma_ang});
        out.EndObject();
    }
    out.EndArray();
    key(out, "BinaryInteractions");
    out.StartArray();
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (std::size_t j = i; j < atoms.size(); ++j) {
            const auto* cross = force_field.binary(norm_pair_key(atoms[i].name, atoms[j].name));
            if (!cross) continue;
            out.StartObject();
            key(out, "names");
            out.StartArray();
            text(out, atoms[i].name);
            text(out, atoms[j].name);
            out.EndArray();
            key(out, "type");
            text(out, "lennard-jones");
            key(out, "parameters");
            numbers(out, std::array{cross->epsilon_k, cross->sigma_ang});
            out.EndObject();
        }
    }
    out.EndArray();
    out.EndObject();
    return finished(buffer);
}

bool has_charges(std::span<const RaspaAtom> atoms) {
    return std::ranges::any_of(atoms, [](const RaspaAtom& atom) { return atom.charge != 0; });
}

std::string simulation_text(std::span<const CountedMolecule> species, bool charges,
                            const RaspaConditions& conditions) {
    rapidjson::StringBuffer buffer;
    Writer out(buffer);
    out.SetFormatOptions(rapidjson::kFormatSingleLineArray);
    out.StartObject();
    key(out, "SimulationType");
    text(out, "MonteCarlo");
    key(out, "NumberOfInitializationCycles");
    out.Uint64(conditions.init_cycles);
    key(out, "NumberOfProductionCycles");
    out.Uint64(conditions.cycles);
    key(out, "PrintEvery");
    out.Uint64(std::max<std::uint64_t>(conditions.print_every, 1));
    if (conditions.seed) {
        key(out, "RandomSeed");
        out.Uint64(*conditions.seed);
    }
    key(out, "Systems");
    out.StartArray();
    out.StartObject();
    key(out, "Type");
    text(out, "Box");
    key(out, "BoxLengths");
    const double edge = conditions.box_length;
    numbers(out, std::array{edge, edge, edge});
    number(out, "ExternalTemperature", conditions.temperature);
    if (conditions.pressure_pa) {
        number(out, "ExternalPressure", *conditions.pressure_pa);
        number(out, "VolumeMoveProbability", VOLUME_MOVE_PROBABILITY);
    }
    key(out, "ChargeMethod");
    text(out, charges ? "Ewald" : "None");
    out.EndObject();
    out.EndArray();
    key(out, "Components");
    out.StartArray();
    for (const auto& counted : species) {
        const Molecule& molecule = *counted.molecule;
        out.StartObject();
        key(out, "Name");
        text(out, component_name(molecule));
        number(out, "TranslationProbability", 1.0);
        if (molecule.pseudo_atoms.size() > 1) number(out, "RotationProbability", 1.0);
        // Configurational-bias regrowth changes a flexible molecule's shape; for a small rigid
        // one in a liquid it is almost never accepted and only costs time.
        if (is_flexible(molecule)) number(out, "ReinsertionProbability", 1.0);
        key(out, "CreateNumberOfMolecules");
        out.Uint64(counted.count);
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
    return finished(buffer);
}

}  // namespace

std::string component_name(const Molecule& molecule) { return molecule.name; }

bool carries_charges(std::span<const CountedMolecule> species, const ForceField& force_field) {
    for (const auto& counted : species) {
        if (counted.count == 0) continue;
        for (const auto& atom : counted.molecule->pseudo_atoms) {
            if (force_field.checked_pseudo_atom(atom.name).charge != 0) return true;
        }
    }
    return false;
}

std::size_t extra_sites(const Molecule& molecule) { return four_site_water(molecule) ? 1 : 0; }

Result<std::vector<RaspaFile>> raspa_input_files(std::span<const CountedMolecule> species,
                                                 const ForceField& force_field,
                                                 const RaspaConditions& conditions) {
    std::vector<CountedMolecule> active;
    for (const auto& counted : species) {
        if (counted.count > 0) active.push_back(counted);
    }
    BW_TRY(const auto atoms, raspa_atoms(active, force_field));
    std::vector<RaspaFile> files;
    files.push_back({"simulation.json", simulation_text(active, has_charges(atoms), conditions)});
    files.push_back({"force_field.json", force_field_text(atoms, force_field, conditions)});
    for (const auto& counted : active) {
        files.push_back(
            {component_name(*counted.molecule) + ".json", molecule_text(*counted.molecule)});
    }
    return files;
}

}  // namespace boxwright
