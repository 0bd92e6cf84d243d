#include "pipeline/request.hpp"

#include <array>

namespace boxwright {
namespace {

// What each of PRESET_NAMES chooses, in its order.
constexpr std::array<PairChoice, PRESET_NAMES.size()> NAMED_CHOICES = {{
    {PresetRule::FromCharges, std::nullopt},
    {PresetRule::AsRequested, PairSetup::Tip4p},
    {PresetRule::AsRequested, PairSetup::LjCut},
    {PresetRule::AsRequested, PairSetup::LjCutCoulLong},
    {PresetRule::AsRequested, std::nullopt},
}};

}  // namespace

std::optional<PairChoice> pair_choice_named(std::string_view name) {
    for (std::size_t i = 0; i < PRESET_NAMES.size(); ++i) {
        if (PRESET_NAMES[i] == name) return NAMED_CHOICES[i];
    }
    return std::nullopt;
}

std::string pair_choice_names() {
    std::string names;
    for (const auto known : PRESET_NAMES) {
        names += (names.empty() ? "'" : ", '") + std::string(known) + "'";
    }
    return names;
}

}  // namespace boxwright
