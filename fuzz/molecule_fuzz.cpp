// libFuzzer harness: Molecule::load on arbitrary file contents, then the derived topology, which
// indexes by the connectivity the loader checked.
#include <cstddef>
#include <cstdint>

#include "ff/molecule.hpp"
#include "fuzz_input.hpp"

using namespace boxwright;

namespace {

// Repeated bonds multiply the derived dihedrals (a bond listed k times along a chain gives k^3);
// that growth is by design, so only small molecules go through the derivation.
constexpr std::size_t MAX_DERIVED_BONDS = 64;

void check_loaded(const Molecule& molecule) {
    const auto atoms = molecule.pseudo_atoms.size();
    fuzz::check(atoms > 0, "a loaded molecule has atoms");
    fuzz::check(atoms == 1 || !molecule.connectivity.empty(), "several atoms need bonds");
    for (const auto& [i, j] : molecule.connectivity) {
        fuzz::check(i < atoms && j < atoms, "bond indices are in range");
    }
    if (molecule.connectivity.size() > MAX_DERIVED_BONDS) return;
    for (const auto& angle : molecule.derived_angles()) {
        for (auto index : angle) fuzz::check(index < atoms, "angle indices are in range");
    }
    for (const auto& dihedral : molecule.derived_dihedrals()) {
        for (auto index : dihedral) fuzz::check(index < atoms, "dihedral indices are in range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto molecule = Molecule::load(fuzz::input_file(data, size));
    if (!molecule) {
        fuzz::check_message(molecule.error().message);
        return 0;
    }
    check_loaded(*molecule);
    return 0;
}
