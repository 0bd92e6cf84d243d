#include "pipeline/request.hpp"

#include <fmt/format.h>

#include <array>
#include <utility>

namespace boxwright {
namespace {

constexpr std::array<std::pair<std::string_view, PairChoice>, 5> NAMED_PRESETS = {{
    {"auto", {PresetRule::FromCharges, std::nullopt}},
    {"tip4p", {PresetRule::AsRequested, PairSetup::Tip4p}},
    {"lj-cut", {PresetRule::AsRequested, PairSetup::LjCut}},
    {"lj-cut-coul-long", {PresetRule::AsRequested, PairSetup::LjCutCoulLong}},
    {"none", {PresetRule::AsRequested, std::nullopt}},
}};

}  // namespace

std::optional<PairChoice> pair_choice_named(std::string_view name) {
    for (const auto& [known, choice] : NAMED_PRESETS) {
        if (known == name) return choice;
    }
    return std::nullopt;
}

std::string pair_choice_names() {
    std::string names;
    for (const auto& [known, choice] : NAMED_PRESETS) {
        names += (names.empty() ? "'" : ", '") + std::string(known) + "'";
    }
    return names;
}

}  // namespace boxwright
