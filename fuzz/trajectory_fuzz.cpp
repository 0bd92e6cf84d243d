// libFuzzer harness: the readers of files of several frames (LAMMPS dumps, .gro, XYZ and PDB) on
// arbitrary file contents, against the atoms of two waters and a butane, with the names and types
// checked and a box given. The input's size chooses the frame (from the start or from the end), so
// that the files of the tests seed it whole and the frame counting and the second pass of a frame
// counted from the end are fuzzed as well.
#include <cstddef>
#include <cstdint>

#include "coords/coordinate_file.hpp"
#include "expected_atoms_fixture.hpp"
#include "fuzz_input.hpp"

using namespace boxwright;

namespace {

const ExpectedAtoms& EXPECTED = fuzz::two_waters_and_a_butane();

std::uint64_t type_of(const std::string& name) {
    return name == "O" ? 1 : name == "H" ? 2 : name == "CH3" ? 3 : 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // -4 to 4, and absent (the last frame) for the tenth value.
    const int choice = static_cast<int>(size % 10) - 4;
    CoordinateReadOptions options{true, 30.0};
    if (choice != 5) options.frame = choice;  // frame 0 included: no file has it
    options.atom_type = type_of;
    const std::string& path = fuzz::input_file(data, size);
    for (auto read : {read_lammps_dump, read_gro, read_xyz, read_pdb}) {
        auto file = read(path, EXPECTED, options);
        if (!file) {
            fuzz::check_message(file.error().message);
            continue;
        }
        fuzz::check(file->positions.size() == EXPECTED.size(), "one position per expected atom");
        fuzz::check(file->box_length == 30.0, "the box given agrees with the file's");
        fuzz::check(!file->velocities || file->velocities->size() == EXPECTED.size(),
                    "one velocity per atom");
        fuzz::check(
            !file->frame || (file->frame->number >= 1 &&
                             file->frame->number <= file->frame->count && file->frame->count > 1),
            "the frame read is one of the file's several");
    }
    return 0;
}
