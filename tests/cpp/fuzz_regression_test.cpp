// Inputs the fuzzers (fuzz/) once broke the loaders with, replayed with their exact outcome. The
// sanitizer build runs these too, which is where a regression of a memory or UB fault shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

#include "ff/force_field.hpp"
#include "ff/molecule.hpp"
#include "packmol/pdb.hpp"
#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

struct Reproducer {
    std::string_view file;     // under tests/data/fuzz/, in the directory of its harness
    std::string_view outcome;  // the exact failure, "{}" standing for the path; or "<success>"
};

const Reproducer REPRODUCERS[] = {
    // An escaped low surrogate without its high half decoded to bytes that are not UTF-8, which
    // then reached names and messages.
    {"force_field/lone_low_surrogate.json",
     "parsing {}: the surrogate pair in string is invalid at line 3 column 38"},
    {"molecule/lone_low_surrogate_key.json",
     "parsing {}: the surrogate pair in string is invalid at line 3 column 10"},
    // A huge negative exponent after leading zeros overflowed the magnitude estimate of a number
    // too small for a double.
    {"molecule/huge_negative_exponent.json", "<success>"},
};

std::string outcome_of(std::string_view file) {
    const auto path = test::data_path("fuzz/" + std::string(file));
    const auto harness = file.substr(0, file.find('/'));
    if (harness == "force_field") return error_of(ForceField::load(path));
    if (harness == "molecule") return error_of(Molecule::load(path));
    if (harness == "packed_pdb") return error_of(parse_packed_pdb(path));
    ADD_FAILURE() << "no loader for " << harness;
    return {};
}

TEST(FuzzRegression, EachReproducerGivesItsExactOutcome) {
    for (const auto& reproducer : REPRODUCERS) {
        SCOPED_TRACE(reproducer.file);
        const auto path = test::data_path("fuzz/" + std::string(reproducer.file));
        EXPECT_EQ(outcome_of(reproducer.file), fmt::format(fmt::runtime(reproducer.outcome), path));
    }
}

TEST(FuzzRegression, EveryKeptReproducerIsReplayed) {
    const std::filesystem::path root = test::data_path("fuzz");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const auto file = entry.path().lexically_relative(root).string();
        EXPECT_TRUE(std::any_of(std::begin(REPRODUCERS), std::end(REPRODUCERS),
                                [&](const Reproducer& r) { return r.file == file; }))
            << file << " has no row in REPRODUCERS";
    }
}

}  // namespace
}  // namespace boxwright
