#include "lammps/data_file.hpp"

#include <fmt/compile.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/io.hpp"
#include "base/numbers.hpp"
#include "base/text_buffer.hpp"
#include "base/utf8.hpp"
#include "lammps/system_totals.hpp"
#include "lammps/text_out.hpp"

namespace boxwright {
namespace {

// Integers go through {fmt}'s compiled formats: these run several times per line of a file with
// millions of lines, and the compiled form skips parsing the format string at run time.
void append_id7(fmt::memory_buffer& out, std::uint64_t value) {
    fmt::format_to(std::back_inserter(out), FMT_COMPILE("{:>7}"), value);
}

void append_type4(fmt::memory_buffer& out, std::uint64_t value) {
    fmt::format_to(std::back_inserter(out), FMT_COMPILE("{:>4}"), value);
}

void append_plain(fmt::memory_buffer& out, std::uint64_t value) {
    fmt::format_to(std::back_inserter(out), FMT_COMPILE("{}"), value);
}

// The fixed text of an atom line of one species: everything but the atom ID, the molecule ID and
// the coordinates, which change from copy to copy.
struct AtomText {
    std::string middle;  // " {type:>4} {charge:10.6} "
    std::string tail;    // "  # {atom} {molecule}\n"
};

// The fixed text of a bond, angle or dihedral line of one species.
template <std::size_t N>
struct ElementText {
    std::string after_id;  // " {type:>4} "
    std::array<AtomIndex, N> atoms;
    std::string tail;         // "  # A-B" and, for a rigid placeholder, the note up to its ID
    bool repeats_id = false;  // the placeholder note ends with the element ID
};

struct SpeciesText {
    std::uint64_t count = 0;
    std::uint64_t atoms_per_copy = 0;
    std::vector<AtomText> atoms;
    std::vector<ElementText<2>> bonds;
    std::vector<ElementText<3>> angles;
    std::vector<ElementText<4>> dihedrals;
};

std::string type_piece(std::size_t type_number) {
    fmt::memory_buffer out;
    out.push_back(' ');
    append_type4(out, type_number);
    out.push_back(' ');
    return fmt::to_string(out);
}

template <std::size_t N>
std::string joined_names(const std::array<std::string, N>& names) {
    std::string text = "  # ";
    for (std::size_t n = 0; n < N; ++n) {
        if (n > 0) text += '-';
        text += names[n];
    }
    return text;
}

template <std::size_t N, class Record>
ElementText<N> element_text(const Placed<Record, N>& element, std::size_t type_number,
                            std::string_view placeholder_note) {
    ElementText<N> text{type_piece(type_number), element.atoms, joined_names(element.record.types),
                        false};
    if constexpr (requires { element.record.placeholder; }) {
        if (element.record.placeholder) {
            text.tail += placeholder_note;
            text.repeats_id = true;
        }
    }
    if (!text.repeats_id) text.tail += '\n';
    return text;
}

// Everything that is the same in every copy of a species, computed once per species.
SpeciesText species_text(const ActivePair& pair, const TypeRegistries& registries,
                         const ForceField& force_field) {
    const ResolvedMolecule& resolved = pair.resolved;
    const Molecule& molecule = *resolved.molecule;
    SpeciesText text;
    text.count = pair.count;
    text.atoms_per_copy = molecule.pseudo_atoms.size();
    for (const auto& atom : molecule.pseudo_atoms) {
        text.atoms.push_back(
            {fmt::format(" {:>4} {:10.6f} ", registries.atoms.type_number(atom.name),
                         force_field.checked_pseudo_atom(atom.name).charge),
             fmt::format("  # {} {}\n", atom.name, molecule.name)});
    }
    for (const auto& bond : resolved.bonds) {
        const auto& t = bond.record.types;
        text.bonds.push_back(element_text(
            bond, registries.bonds.type_number(norm_pair(t[0], t[1])),
            "  # This bond shall be rigid, set SHAKE or RIGID in lammps simulation for bond "));
    }
    for (const auto& angle : resolved.angles) {
        const auto& t = angle.record.types;
        text.angles.push_back(element_text(
            angle, registries.angles.type_number(norm_triple(t[0], t[1], t[2])),
            "  # This angle shall be rigid, set SHAKE or RIGID in lammps simulation for angle "));
    }
    for (const auto& dihedral : resolved.dihedrals) {
        const auto& t = dihedral.record.types;
        text.dihedrals.push_back(element_text(
            dihedral, registries.dihedrals.type_number(norm_quad(t[0], t[1], t[2], t[3])), ""));
    }
    return text;
}

void append_header(fmt::memory_buffer& out, const SystemTotals& totals,
                   const TypeRegistries& registries, double box_length) {
    append(out, "created by mixgrid\n\n");
    fmt::format_to(std::back_inserter(out), "{} atoms\n", totals.atoms);
    if (totals.bonds) fmt::format_to(std::back_inserter(out), "{} bonds\n", totals.bonds);
    if (totals.angles) fmt::format_to(std::back_inserter(out), "{} angles\n", totals.angles);
    if (totals.dihedrals) {
        fmt::format_to(std::back_inserter(out), "{} dihedrals\n", totals.dihedrals);
    }
    fmt::format_to(std::back_inserter(out), "{} atom types\n", registries.atoms.size());
    if (totals.bonds) {
        fmt::format_to(std::back_inserter(out), "{} bond types\n", registries.bonds.size());
    }
    if (totals.angles) {
        fmt::format_to(std::back_inserter(out), "{} angle types\n", registries.angles.size());
    }
    if (totals.dihedrals) {
        fmt::format_to(std::back_inserter(out), "{} dihedral types\n", registries.dihedrals.size());
    }
    append(out, "\n");
    for (std::string_view axis : {" xlo xhi\n", " ylo yhi\n", " zlo zhi\n"}) {
        fmt::format_to(std::back_inserter(out), "0.0 {:.6f}{}", box_length, axis);
    }
}

void append_atoms(TextOut& sink, const std::vector<SpeciesText>& species,
                  std::span<const Position> coordinates) {
    fmt::memory_buffer& out = sink.text();
    append(out, "\nAtoms\n\n");
    std::uint64_t atom_id = 0;
    std::uint64_t molecule_id = 0;
    const Position* position = coordinates.data();
    for (const auto& s : species) {
        if (s.atoms.empty()) {  // nothing to print, and never a loop over empty copies
            molecule_id += s.count;
            continue;
        }
        for (std::uint64_t copy = 0; copy < s.count; ++copy) {
            ++molecule_id;
            for (const auto& atom : s.atoms) {
                append_id7(out, ++atom_id);
                out.push_back(' ');
                append_id7(out, molecule_id);
                append(out, atom.middle);
                const Position& p = *position++;
                append_exp6(out, p[0], 13);
                out.push_back(' ');
                append_exp6(out, p[1], 13);
                out.push_back(' ');
                append_exp6(out, p[2], 13);
                append(out, atom.tail);
            }
            sink.line_boundary();
        }
    }
}

// One line per atom, with the IDs of the Atoms section.
void append_velocities(TextOut& sink, std::span<const Velocity> velocities) {
    fmt::memory_buffer& out = sink.text();
    append(out, "\nVelocities\n\n");
    std::uint64_t atom_id = 0;
    for (const Velocity& v : velocities) {
        append_id7(out, ++atom_id);
        for (double component : v) {
            out.push_back(' ');
            append_exp6(out, component, 13);
        }
        out.push_back('\n');
        sink.line_boundary();
    }
}

// One of the Bonds, Angles or Dihedrals sections: every element of every copy, with atom IDs
// offset by the copy's first atom, walked exactly as the Atoms section walks the atoms.
template <std::size_t N>
void append_elements(TextOut& sink, std::string_view title, const std::vector<SpeciesText>& species,
                     std::vector<ElementText<N>> SpeciesText::*elements) {
    fmt::memory_buffer& out = sink.text();
    append(out, title);
    std::uint64_t id = 0;
    std::uint64_t first_atom = 1;
    for (const auto& s : species) {
        const auto& list = s.*elements;
        if (list.empty()) {
            first_atom += s.count * s.atoms_per_copy;  // checked against 64 bits by the totals
            continue;
        }
        for (std::uint64_t copy = 0; copy < s.count; ++copy, first_atom += s.atoms_per_copy) {
            for (const auto& element : list) {
                append_id7(out, ++id);
                append(out, element.after_id);
                for (std::size_t n = 0; n < N; ++n) {
                    if (n > 0) out.push_back(' ');
                    append_id7(out, first_atom + element.atoms[n]);
                }
                append(out, element.tail);
                if (element.repeats_id) {
                    append_plain(out, id);
                    out.push_back('\n');
                }
            }
            sink.line_boundary();
        }
    }
}

// The totals of the system, once the coordinates (and velocities) are known to be one triple per
// atom.
Result<SystemTotals> checked_totals(std::span<const ActivePair> active,
                                    std::span<const Position> coordinates, Velocities velocities) {
    BW_TRY(auto totals, system_totals(active));
    if (coordinates.size() != totals.atoms) {
        return fail("internal error: expected {} packed atom coordinates, got {}", totals.atoms,
                    coordinates.size());
    }
    if (velocities && velocities->size() != totals.atoms) {
        return fail("internal error: expected {} atom velocities, got {}", totals.atoms,
                    velocities->size());
    }
    return totals;
}

void build_data_file(TextOut& out, const SystemTotals& totals, std::span<const ActivePair> active,
                     std::span<const Position> coordinates, const TypeRegistries& registries,
                     const ForceField& force_field, double box_length, Velocities velocities) {
    std::vector<SpeciesText> species;
    species.reserve(active.size());
    for (const auto& pair : active) {
        if (pair.count != 0) species.push_back(species_text(pair, registries, force_field));
    }
    append_header(out.text(), totals, registries, box_length);
    append_atoms(out, species, coordinates);
    if (velocities) append_velocities(out, *velocities);
    if (totals.bonds) append_elements(out, "\nBonds\n\n", species, &SpeciesText::bonds);
    if (totals.angles) append_elements(out, "\nAngles\n\n", species, &SpeciesText::angles);
    if (totals.dihedrals) {
        append_elements(out, "\nDihedrals\n\n", species, &SpeciesText::dihedrals);
    }
}

}  // namespace

Result<std::string> data_file_text(std::span<const ActivePair> active,
                                   std::span<const Position> coordinates,
                                   const TypeRegistries& registries, const ForceField& force_field,
                                   double box_length, Velocities velocities) {
    BW_TRY(auto totals, checked_totals(active, coordinates, velocities));
    TextOut out;
    build_data_file(out, totals, active, coordinates, registries, force_field, box_length,
                    velocities);
    return fmt::to_string(out.text());
}

Result<void> write_data_file(FileReplacement& file, std::span<const ActivePair> active,
                             std::span<const Position> coordinates,
                             const TypeRegistries& registries, const ForceField& force_field,
                             double box_length, Velocities velocities) {
    // Checked before anything is written: a mismatch writes nothing.
    BW_TRY(auto totals, checked_totals(active, coordinates, velocities));
    TextOut out(&file);
    build_data_file(out, totals, active, coordinates, registries, force_field, box_length,
                    velocities);
    return out.finish().map_error(about(file.path()));
}

}  // namespace boxwright
