// libFuzzer harness: ForceField::load on arbitrary file contents.
#include <cstddef>
#include <cstdint>

#include "ff/force_field.hpp"
#include "fuzz_input.hpp"

using namespace boxwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto ff = ForceField::load(fuzz::input_file(data, size));
    if (!ff) {
        fuzz::check_message(ff.error().message);
        return 0;
    }
    fuzz::check(ff->mixing_rule == "Lorentz-Berthelot", "a loaded force field mixes by LB");
    for (const auto& entry : ff->binary_interactions) {
        fuzz::check(ff->pseudo_atom(entry.first[0]) && ff->pseudo_atom(entry.first[1]),
                    "binary entries name known pseudo atoms");
    }
    return 0;
}
