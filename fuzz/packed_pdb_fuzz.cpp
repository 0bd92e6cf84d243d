// libFuzzer harness: parse_packed_pdb on arbitrary file contents.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.hpp"
#include "packmol/pdb.hpp"

using namespace boxwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto positions = parse_packed_pdb(fuzz::input_file(data, size));
    if (!positions) {
        fuzz::check_message(positions.error().message);
        return 0;
    }
    // Every atom record holds at least 54 bytes and a line feed separates records.
    fuzz::check(positions->size() <= size / 54, "one position per atom record");
    return 0;
}
