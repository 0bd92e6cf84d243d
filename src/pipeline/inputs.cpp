#include "pipeline/inputs.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "base/io.hpp"
#include "base/quoted.hpp"
#include "base/utf8.hpp"
#include "ff/force_field_merge.hpp"

namespace boxwright {
namespace {

void report_unknown_keys_of(const std::vector<UnknownKey>& keys, const std::string& path,
                            Diagnostics& diagnostics) {
    for (const auto& unknown : keys) {
        // The key is the file's text: shown escaped and cut short, as a reader quotes a line.
        auto text =
            fmt::format("unknown key '{}' in {} ({}, line {}) is ignored", excerpt(unknown.key),
                        lossy_utf8(path), unknown.where, unknown.line);
        if (!unknown.suggestion) {
            diagnostics.add(DiagnosticKind::UnknownKey, DiagnosticLevel::Note, std::move(text));
            continue;
        }
        diagnostics.warn(DiagnosticKind::UnknownKey,
                         fmt::format("{}; did you mean '{}'?", text, *unknown.suggestion));
    }
}

Result<ForceField> load_force_field(const std::string& own_path,
                                    std::span<const std::string> model_paths) {
    if (model_paths.empty()) return ForceField::load(own_path);
    std::vector<ForceFieldFile> files;
    double longest_cutoff = 0;
    for (const auto& path : model_paths) {
        BW_TRY(auto part, ForceField::load(path));
        longest_cutoff = std::max(longest_cutoff, part.cutoff_vdw);
        files.push_back({path, std::move(part)});
    }
    if (!own_path.empty()) {
        BW_TRY(auto own, ForceField::load(own_path));
        files.insert(files.begin(), {own_path, std::move(own)});
    }
    BW_TRY(auto merged, merge_force_fields(std::move(files)));
    // A user's own file sets the cutoff; models alone take the longest any of them was made for.
    if (own_path.empty()) merged.cutoff_vdw = longest_cutoff;
    return merged;
}

}  // namespace

Result<void> check_species_files_open(std::span<const std::string> species_paths) {
    for (const auto& path : species_paths) {
        // In the words the molecule's loading would use.
        BW_TRY_VOID(open_regular_file(path).map_error(about(path)));
    }
    return {};
}

Result<LoadedSpecies> load_molecules(const std::string& force_field_path,
                                     std::span<const std::string> species_paths,
                                     std::span<const std::uint64_t> counts,
                                     std::span<const std::string> model_force_fields) {
    // The request's shape is checked before any file is read.
    if (species_paths.empty()) return fail("at least one --species is required");
    if (species_paths.size() != counts.size()) {
        return fail("--species has {} entries but --counts has {} (they must match 1:1)",
                    species_paths.size(), counts.size());
    }

    if (force_field_path.empty() && model_force_fields.empty()) {
        return fail(
            "no force field: give a force-field file, or name a bundled model as a species");
    }
    BW_TRY(auto force_field, load_force_field(force_field_path, model_force_fields));

    LoadedSpecies loaded{std::move(force_field),
                         force_field_path.empty() ? model_force_fields.front() : force_field_path,
                         {},
                         {}};
    loaded.molecules.reserve(species_paths.size());
    std::unordered_set<std::string> seen;
    for (const auto& path : species_paths) {
        BW_TRY(auto molecule, Molecule::load(path));
        if (!seen.insert(molecule.name).second) {
            return fail_in(path, "duplicate species name '{}' (from {}); file stems must be unique",
                           molecule.name, lossy_utf8(path));
        }
        loaded.molecules.push_back(std::move(molecule));
    }
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) loaded.skipped.push_back(loaded.molecules[i].name);
    }
    return loaded;
}

void report_unknown_keys(const LoadedSpecies& loaded, std::span<const std::string> species_paths,
                         Diagnostics& diagnostics) {
    report_unknown_keys_of(loaded.force_field.unknown_keys, loaded.force_field_file, diagnostics);
    for (std::size_t i = 0; i < loaded.molecules.size() && i < species_paths.size(); ++i) {
        report_unknown_keys_of(loaded.molecules[i].unknown_keys, species_paths[i], diagnostics);
    }
}

}  // namespace boxwright
