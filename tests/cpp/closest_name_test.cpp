#include "base/closest_name.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace boxwright {
namespace {

TEST(ClosestName, OnlyAnUnambiguousCloseName) {
    const std::vector<std::string_view> top_level = {"MixingRule", "CutOffVDW", "PseudoAtoms",
                                                     "SelfInteractions", "BinaryInteractions"};
    const std::vector<std::string_view> atoms = {"CH2", "CH3", "CH4", "cH2"};
    const std::vector<std::string_view> entry = {"name", "mass", "charge", "source"};
    const struct {
        std::string_view name;
        const std::vector<std::string_view>& known;
        std::optional<std::string_view> closest;
    } cases[] = {
        {"CutoffVDW", top_level, "CutOffVDW"},                   // letter case only
        {"BinaryInteraction", top_level, "BinaryInteractions"},  // one letter left out
        {"SelfInteractoins", top_level, "SelfInteractions"},     // two letters swapped
        {"PseudoAtomz", top_level, "PseudoAtoms"},               // one letter wrong
        {"comment", top_level, std::nullopt},                    // a note, close to nothing
        {"Ch2", atoms, "CH2"},          // cH2 is as close folded, but not as written
        {"CH5", atoms, std::nullopt},   // CH2, CH3 and CH4 are equally close
        {"CH", atoms, std::nullopt},    // as close to CH2 as to CH3
        {"note", entry, std::nullopt},  // two edits from name: too many for four letters
        {"sorce", entry, "source"},     // one of the two a longer name may have
        {"chrg", entry, "charge"},
        {"", entry, std::nullopt},
        // The comparison stops once every prefix is past the limit; these stay within it.
        {"XYPseudoAtoms", top_level, "PseudoAtoms"},  // two edits before the first match
        {"PseudoAtomsXY", top_level, "PseudoAtoms"},  // two after the last
        {"XPseudoAtomsY", top_level, "PseudoAtoms"},
        {"XPseudoAtomYZ", top_level, std::nullopt},  // three edits
        {"PsuedoAtmos", top_level, "PseudoAtoms"},   // two swaps
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(closest_name(c.name, c.known), c.closest);
    }
}

// A name longer than any key or pseudo atom is no slip of the fingers: nothing is compared.
TEST(ClosestName, LongNamesGetNoSuggestion) {
    const std::string known(64, 'a');
    std::string near = known;
    near.back() = 'b';
    const std::vector<std::string_view> names = {known, known + "a"};
    EXPECT_EQ(closest_name(near, {names.data(), 1}), std::string_view(known));
    EXPECT_EQ(closest_name(near + "b", {names.data() + 1, 1}), std::nullopt);
}

}  // namespace
}  // namespace boxwright
