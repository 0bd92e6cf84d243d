#include "pipeline/composition.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>

#include "base/invariant.hpp"
#include "base/numbers.hpp"

namespace boxwright {
namespace {

// Fractions written to two decimals, such as 0.33 for each of three species, must be enough.
constexpr double SUM_TOLERANCE = 0.01;
// The sum is judged with room for the binary rounding of decimal fractions: 0.33 + 0.33 + 0.33
// is 0.99 to the reader and 0.98999999999999999 to the machine.
constexpr double SUM_ROUNDING = 1e-9;
// Remainders that agree to a millionth of a molecule are equal: 5 × 0.1 and 5 × 0.7 leave 0.5
// each to the reader, whatever their binary rounding leaves, and the earlier species wins the tie.
constexpr double REMAINDER_RESOLUTION = 1e-6;

// A failure about the setting `option`, which the caller passed: named as it names it.
template <class... Args>
tl::unexpected<FfError> bad_argument(std::string_view option, fmt::format_string<Args...> text,
                                     Args&&... args) {
    return tl::unexpected<FfError>(
        FfError{.message = fmt::format(text, std::forward<Args>(args)...),
                .bad_argument = true,
                .option = std::string(option)});
}

// A sum whose error does not grow with the number of terms (Neumaier's compensated sum), so that
// the scaled fractions sum to 1 however many species there are.
double compensated_sum(std::span<const double> values) {
    double sum = 0, lost = 0;
    for (const double value : values) {
        const double next = sum + value;
        lost += std::abs(sum) >= std::abs(value) ? (sum - next) + value : (value - next) + sum;
        sum = next;
    }
    return sum + lost;
}

// The fractions' sum, once each of them is a number the caller may give.
Result<double> checked_sum(std::span<const double> fractions, std::size_t species,
                           OptionNaming naming) {
    const auto entries = [](std::size_t n) { return n == 1 ? "entry" : "entries"; };
    const std::string name = option_name("mole_fractions", naming);
    if (fractions.size() != species) {
        return bad_argument("mole_fractions",
                            "{} has {} {} but {} has {} {} (one mole fraction per species)",
                            option_name("species", naming), species, entries(species), name,
                            fractions.size(), entries(fractions.size()));
    }
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        if (!std::isfinite(fractions[i])) {
            return bad_argument("mole_fractions", "{}[{}] must be a finite number, got {}", name, i,
                                fractions[i]);
        }
        if (fractions[i] < 0) {
            return bad_argument("mole_fractions", "{}[{}] must be 0 or more, got {}", name, i,
                                list_number(fractions[i]));
        }
    }
    const double sum = compensated_sum(fractions);
    if (!(std::abs(sum - 1) <= SUM_TOLERANCE + SUM_ROUNDING)) {
        auto failure = fail("mole fractions must sum to 1 (within {}), but they sum to {:.6g}",
                            plain_number(SUM_TOLERANCE), sum);
        failure.value().option = "mole_fractions";
        return failure;
    }
    return sum;
}

}  // namespace

std::vector<std::uint64_t> round_shares(std::span<const double> shares, std::uint64_t total) {
    std::vector<std::uint64_t> counts(shares.size());
    std::vector<long long> remainders(shares.size());
    std::uint64_t assigned = 0;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        const double whole = std::floor(shares[i]);
        counts[i] = static_cast<std::uint64_t>(whole);
        remainders[i] = std::llround((shares[i] - whole) / REMAINDER_RESOLUTION);
        assigned += counts[i];
    }
    invariant(assigned <= total && total - assigned <= shares.size(),
              "the whole parts of the shares within one molecule each of the total");
    std::vector<std::size_t> order(shares.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return remainders[a] > remainders[b]; });
    for (std::uint64_t k = 0; k < total - assigned; ++k) ++counts[order[k]];
    return counts;
}

Result<ComposedCounts> compose_counts(const Composition& composition, std::size_t species,
                                      OptionNaming naming) {
    BW_TRY(const double sum, checked_sum(composition.mole_fractions, species, naming));
    const std::uint64_t molecules = composition.molecules;
    if (molecules < 1 || molecules > MOST_MOLECULES) {
        auto failure = fail("{} must be from 1 to {}, got {}", option_name("molecules", naming),
                            MOST_MOLECULES, molecules);
        failure.value().option = "molecules";
        return failure;
    }
    ComposedCounts composed;
    for (const double fraction : composition.mole_fractions) {
        composed.shares.push_back(static_cast<double>(molecules) * (fraction / sum));
    }
    composed.counts = round_shares(composed.shares, molecules);
    composed.fraction_sum = sum;
    return composed;
}

void report_composition(const Composition& composition, const ComposedCounts& composed,
                        std::span<const std::string> names, Diagnostics& diagnostics) {
    const std::uint64_t molecules = composition.molecules;
    const double sum = composed.fraction_sum;
    const std::string scaled =
        std::abs(sum - 1) > SUM_ROUNDING ? fmt::format(" (sum {:.6g}, scaled to 1)", sum) : "";
    diagnostics.add(DiagnosticKind::Composition, DiagnosticLevel::Note,
                    fmt::format("mole fractions {:.4g}{} of {} molecules give counts {} ({} \u00d7 "
                                "x = {:.2f}, rounded to whole molecules that sum to {})",
                                fmt::join(composition.mole_fractions, ", "), scaled, molecules,
                                fmt::join(composed.counts, ", "), molecules,
                                fmt::join(composed.shares, ", "), molecules));
    for (std::size_t i = 0; i < composed.counts.size() && i < names.size(); ++i) {
        if (composed.counts[i] > 0 || !(composition.mole_fractions[i] > 0)) continue;
        diagnostics.warn(DiagnosticKind::Composition,
                         fmt::format("mole fraction {:.4g} of {} molecules rounds to 0 molecules "
                                     "of '{}' ({} \u00d7 x = {:.2f}): it is left out; raise "
                                     "molecules (--molecules) to include it",
                                     composition.mole_fractions[i], molecules, names[i], molecules,
                                     composed.shares[i]));
    }
}

}  // namespace boxwright
