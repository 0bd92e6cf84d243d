// The option tables: every setting a caller of the package gives a build by name (the run's and
// the packing's) and every pair-style preset name, declared once with its type, unit, default,
// ranges and help text. The command line's options, `_engine`'s keywords, the settings check and
// docs/'s option table are made from these rows or tested against them; adding an option is one
// row here plus its use. Knows nothing of Python: a caller names an option in its own words
// (`kspace_accuracy` in Python, `--kspace-accuracy` on the command line) through OptionNaming.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace boxwright {

// Where an option belongs, which is also where the command line's help lists it: in.lmp's run,
// its cutoffs and PPPM accuracy, the packing, the packing in sub-boxes, and the reading of a
// coordinate file.
enum class OptionKind { Run, Pair, Packing, SplitPacking, Coordinates };

// The value a caller gives, as the command line and Python convert it.
enum class OptionType {
    Number,          // a finite float
    OptionalNumber,  // a finite float or none
    Count,           // a whole number of at least 0
    OptionalCount,   // that or none
    OptionalInt,     // a whole number of either sign within 64 bits, or none
    OptionalGrid,    // three whole numbers NX,NY,NZ or none
    Choice,          // one of the row's words
};

// An interval of values, each end open or closed; an infinite end is no end. NaN is in none.
struct ValueRange {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool low_open = false;
    bool high_open = false;
    bool contains(double value) const;
};

struct OptionSpec {
    std::string_view name;  // the Python keyword; the command line's is "--" and dashes for "_"
    OptionKind kind;
    OptionType type;
    std::string_view unit;           // its symbol: "K", "" for none
    std::string_view metavar;        // the command line's placeholder: "K"
    std::string_view default_value;  // as Python writes it: "298.15", "None"; "" when required
    std::span<const std::string_view> choices = {};  // of a Choice, in the order help lists them
    // Outside `runnable` the build is refused: LAMMPS or Packmol fails, overflows or hangs on it,
    // or it means nothing. The failure reads "<name> must be <runnable_words>, got <value>".
    // A value given in another unit than the row's (a pressure in MPa) is checked converted, and
    // its words name the range's ends in the caller's unit where they say {low}, {high}, {unit}.
    ValueRange runnable;
    std::string_view runnable_words;
    // Outside `plausible` (and inside `runnable`) the build warns: most likely a slip of unit or
    // digit. The warning reads "<name> <value> <unit>: <implausible_words>".
    ValueRange plausible;
    std::string_view implausible_words;
    std::string_view help;           // the command line's help text, without its default
    std::string_view default_words;  // the help's "(default: ...)"; "required" when required
};

// Every option of the run (in.lmp: temperature, ..., kspace_accuracy) and of the packing.
std::span<const OptionSpec> option_table();
// The row of an option by its Python keyword; null for none.
const OptionSpec* find_option(std::string_view name);

// How a caller names an option in a message: as Python's keyword or the command line's option.
enum class OptionNaming { Python, CommandLine };
// "kspace_accuracy", or "--kspace-accuracy".
std::string option_name(const OptionSpec& spec, OptionNaming naming);
std::string option_name(std::string_view python_name, OptionNaming naming);

// Every preset name in the order the command line lists them; what each chooses is
// pair_choice_named's (request.hpp).
inline constexpr std::array<std::string_view, 5> PRESET_NAMES = {"auto", "tip4p", "lj-cut",
                                                                 "lj-cut-coul-long", "none"};
std::span<const std::string_view> preset_names();

}  // namespace boxwright
