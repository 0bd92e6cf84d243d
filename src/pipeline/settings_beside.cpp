#include "pipeline/settings_beside.hpp"

#include <fmt/ranges.h>

#include <charconv>
#include <vector>

#include "base/io.hpp"
#include "base/numbers.hpp"
#include "base/text_lines.hpp"
#include "coords/coordinate_text.hpp"

namespace boxwright {
namespace {

// in.lmp's first line, by which a final.data is known to come from one of ours.
constexpr std::string_view HEADER =
    "# LAMMPS input for the system of data.lmp and forcefield.lmp, written by boxwright.";

std::optional<double> number(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "variable        NAME index VALUE   # COMMENT": VALUE and COMMENT of NAME's line.
struct IndexLine {
    std::string_view value, comment;
};

std::optional<IndexLine> index_line(std::string_view line, std::string_view name) {
    constexpr std::string_view VARIABLE = "variable ";
    if (!line.starts_with(VARIABLE)) return std::nullopt;
    line = trim_blanks(line.substr(VARIABLE.size()));
    const std::string prefix = std::string(name) + " index ";
    if (!line.starts_with(prefix)) return std::nullopt;
    line.remove_prefix(prefix.size());
    const auto hash = line.find('#');
    const auto value = trim_blanks(line.substr(0, hash));
    const auto comment =
        hash == line.npos ? std::string_view{} : trim_blanks(line.substr(hash + 1));
    return IndexLine{value, comment};
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

std::string pressure_text(std::optional<double> pressure, PressureUnit unit) {
    return pressure ? fmt::format("{} {}", plain_number(*pressure), pressure_unit_name(unit))
                    : "none (NVT)";
}

}  // namespace

std::optional<SettingsBeside> settings_beside(const std::string& coordinate_file) {
    const auto slash = coordinate_file.rfind('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(coordinate_file)
                                      : std::string_view(coordinate_file).substr(slash + 1);
    if (name != "final.data") return std::nullopt;
    SettingsBeside beside;
    beside.path = join_path(directory_of(coordinate_file), "in.lmp");
    const auto text = read_utf8_file(beside.path, 1 << 20);
    if (!text) return std::nullopt;
    std::string_view rest = *text;
    if (take_line(rest) != HEADER) return std::nullopt;
    while (!rest.empty()) {
        const auto line = take_line(rest);
        if (const auto t = index_line(line, "temperature")) beside.temperature = number(t->value);
        if (const auto t = index_line(line, "timestep")) beside.timestep = number(t->value);
        if (const auto p = index_line(line, "pressure")) {
            beside.pressure = number(p->value);
            beside.pressure_unit = pressure_unit_named(p->comment).value_or(PressureUnit::Atm);
        }
    }
    return beside;
}

std::string take_settings_beside(RunSettings& run, const GivenRunSettings& given,
                                 const SettingsBeside& beside) {
    // Each setting's text, by where it came from.
    std::vector<std::string> taken, as_given, by_default;
    const auto sort = [&](bool was_given, bool found, std::string text) {
        (was_given ? as_given : found ? taken : by_default).push_back(std::move(text));
    };
    if (!given.temperature && beside.temperature) run.temperature = *beside.temperature;
    sort(given.temperature, beside.temperature.has_value(),
         fmt::format("temperature {} K", plain_number(run.temperature)));
    if (!given.pressure) {
        run.pressure = beside.pressure;
        run.pressure_unit = beside.pressure_unit;
    }
    sort(given.pressure, true, "pressure " + pressure_text(run.pressure, run.pressure_unit));
    if (!given.timestep && beside.timestep) run.timestep = *beside.timestep;
    sort(given.timestep, beside.timestep.has_value(),
         fmt::format("timestep {} fs", plain_number(run.timestep)));
    std::string text = fmt::format("run settings beside the coordinates, in {}", beside.path);
    if (!taken.empty()) text += fmt::format(": taken {}", fmt::join(taken, ", "));
    if (!as_given.empty()) text += fmt::format("; as given {}", fmt::join(as_given, ", "));
    if (!by_default.empty()) text += fmt::format("; by default {}", fmt::join(by_default, ", "));
    return text;
}

}  // namespace boxwright
