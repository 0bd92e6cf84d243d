// libFuzzer harness: the three coordinate-file readers on arbitrary file contents, against the
// atoms of two waters and a butane, with the names check on and a box given.
#include <cstddef>
#include <cstdint>

#include "coords/coordinate_file.hpp"
#include "expected_atoms_fixture.hpp"
#include "fuzz_input.hpp"

using namespace boxwright;

namespace {

const ExpectedAtoms& EXPECTED = fuzz::two_waters_and_a_butane();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzz::input_file(data, size);
    for (auto read : {read_xyz, read_pdb, read_lammps_data}) {
        auto file = read(path, EXPECTED, {true, 30.0});
        if (!file) {
            fuzz::check_message(file.error().message);
            continue;
        }
        fuzz::check(file->positions.size() == EXPECTED.size(), "one position per expected atom");
        fuzz::check(file->box_length == 30.0, "the box given agrees with the file's");
    }
    return 0;
}
