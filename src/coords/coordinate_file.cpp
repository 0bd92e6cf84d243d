#include "coords/coordinate_file.hpp"

#include "base/names.hpp"
#include "base/utf8.hpp"

namespace boxwright {

std::optional<CoordinateFormat> coordinate_format_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view extension = name.substr(dot + 1);
    const auto is = [&](std::string_view word) {
        return equals_ignoring_ascii_case(extension, word);
    };
    if (is("xyz") || is("extxyz")) return CoordinateFormat::Xyz;
    if (is("pdb")) return CoordinateFormat::Pdb;
    if (is("data") || is("lmp")) return CoordinateFormat::LammpsData;
    if (is("json")) return CoordinateFormat::RaspaRestart;
    if (is("dump") || is("lammpstrj")) return CoordinateFormat::LammpsDump;
    if (is("gro")) return CoordinateFormat::Gro;
    return std::nullopt;
}

namespace {

Result<CoordinateFile> read_in_its_format(const std::string& path, const ExpectedAtoms& expected,
                                          const CoordinateReadOptions& options) {
    const auto format = coordinate_format_of(path);
    if (!format) {
        return fail(
            "{}: unknown coordinate format (expected .xyz, .extxyz, .pdb, .data, .lmp, .dump, "
            ".lammpstrj, .gro or .json)",
            lossy_utf8(path));
    }
    switch (*format) {
        case CoordinateFormat::Xyz:
            return read_xyz(path, expected, options);
        case CoordinateFormat::Pdb:
            return read_pdb(path, expected, options);
        case CoordinateFormat::LammpsData:
            return read_lammps_data(path, expected, options);
        case CoordinateFormat::RaspaRestart:
            return read_raspa_restart_file(path, expected, options);
        case CoordinateFormat::LammpsDump:
            return read_lammps_dump(path, expected, options);
        case CoordinateFormat::Gro:
            return read_gro(path, expected, options);
    }
    return fail("{}: unknown coordinate format", lossy_utf8(path));  // unreachable
}

}  // namespace

Result<CoordinateFile> read_coordinate_file(const std::string& path, const ExpectedAtoms& expected,
                                            const CoordinateReadOptions& options) {
    return read_in_its_format(path, expected, options).map_error(in_file(path));
}

}  // namespace boxwright
