// Composition: a mixture given as mole fractions of a total number of molecules, and the whole
// counts it comes to. The fractions are checked, scaled to sum to exactly 1 and shared out by
// largest remainders, so the counts always sum to the total asked for. Knows nothing of files;
// the species' names reach it only for the report.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/option_table.hpp"

namespace boxwright {

// The most molecules a composition may total. The shares are products in double precision; up to
// this many molecules their rounding error stays far below one molecule, so their whole parts
// never add up to more than the total.
inline constexpr std::uint64_t MOST_MOLECULES = 1'000'000'000'000;

struct Composition {
    std::vector<double> mole_fractions = {};  // one per species, in species order
    std::uint64_t molecules = 0;              // the total
};

// What a composition comes to: a count per species and the exact shares they were rounded from.
struct ComposedCounts {
    std::vector<std::uint64_t> counts = {};
    std::vector<double> shares = {};  // molecules × the fraction scaled by the fractions' sum
    double fraction_sum = 1;          // of the fractions as given
};

// Largest-remainder rounding: each share gets its whole part, and the molecules still missing
// from `total` go one each to the largest remainders, the earlier species first among equal ones.
// The shares are at least 0 and sum to `total` up to rounding error.
std::vector<std::uint64_t> round_shares(std::span<const double> shares, std::uint64_t total);

// The counts of `species` species: every fraction finite and at least 0, one per species, their
// sum 1 within 0.01, and from 1 to 10^12 molecules. A fraction that is no number, negative, or
// one too many or too few is the caller's argument at fault.
// Its failures name the fractions and the total as the caller does.
Result<ComposedCounts> compose_counts(const Composition& composition, std::size_t species,
                                      OptionNaming naming = OptionNaming::Python);

// A note on how the fractions were rounded, and a warning for each species with a positive
// fraction that came to no molecule; `names` are the species', in species order.
void report_composition(const Composition& composition, const ComposedCounts& composed,
                        std::span<const std::string> names, Diagnostics& diagnostics);

}  // namespace boxwright
