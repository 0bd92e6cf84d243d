#include "packmol/pack.hpp"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "base/io.hpp"
#include "base/numbers.hpp"
#include "base/process.hpp"
#include "base/text_buffer.hpp"
#include "base/units.hpp"
#include "base/utf8.hpp"
#include "coords/pdb_record.hpp"
#include "packmol/pdb.hpp"

namespace boxwright {
namespace {

constexpr double MIN_MARGIN = 1.5;  // Å kept from the walls even with a smaller tolerance

Result<double> total_mass(std::span<const CountedMolecule> species, const ForceField& force_field) {
    double total = 0;
    for (const auto& counted : species) {
        const Molecule& molecule = *counted.molecule;
        double molecule_mass = 0;
        for (const auto& atom : molecule.pseudo_atoms) {
            BW_TRY(auto params, force_field.pseudo_atom_used_by(molecule.name, atom.name));
            molecule_mass += params->mass;
        }
        total += molecule_mass * static_cast<double>(counted.count);
    }
    return total;
}

// fmax and fmin return the other operand when one is NaN, so any tolerance gives a usable margin.
double wall_margin(double tolerance, double box_edge) {
    return std::fmin(std::fmax(tolerance, MIN_MARGIN), 0.25 * box_edge);
}

// Fixed-point, right-aligned in `width`; NaN, inf and -inf for values that have no digits.
void append_decimal(fmt::memory_buffer& out, double value, int decimals, int width = 0) {
    if (std::isfinite(value)) {
        fmt::format_to(std::back_inserter(out), "{:>{}.{}f}", value, width, decimals);
    } else {
        fmt::format_to(std::back_inserter(out), "{:>{}}", plain_number(value), width);
    }
}

// The first `width` characters of `text` in `width` bytes, padded with blanks: Packmol reads the
// fields by byte columns, so each character beyond ASCII is written as '_' (the names Packmol
// sees are only read back as positions). A character is a code point, never a byte of one.
void append_name_field(fmt::memory_buffer& out, std::string_view text, std::size_t width) {
    const std::string_view name = leading_characters(text, width);
    std::size_t characters = 0;
    for (char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            out.push_back(ch);
        } else if ((byte & 0xC0) == 0xC0) {
            out.push_back('_');  // the first byte of a code point; the others are dropped
        } else {
            continue;
        }
        ++characters;
    }
    for (; characters < width; ++characters) out.push_back(' ');
}

std::string template_text(const Molecule& molecule) {
    fmt::memory_buffer out;
    fmt::format_to(std::back_inserter(out), "COMPND    {}\n", molecule.name);
    std::uint64_t serial = 0;
    for (const auto& atom : molecule.pseudo_atoms) {
        fmt::format_to(std::back_inserter(out), "HETATM{:>5} ", ++serial);
        append_name_field(out, atom.name, PDB_ATOM_NAME_CHARACTERS);
        out.push_back(' ');
        append_name_field(out, molecule.name, PDB_RESIDUE_NAME_CHARACTERS);
        fmt::format_to(std::back_inserter(out), "  {:>4}    ", 1);
        for (double coordinate : atom.position) append_decimal(out, coordinate, 3, 8);
        fmt::format_to(std::back_inserter(out), "  1.00  0.00\n");
    }
    fmt::format_to(std::back_inserter(out), "END\n");
    return fmt::to_string(out);
}

// Bytes that packmol does not read back as part of a file name: it splits its input at white
// space, takes '#' for the start of a comment and '"' for a quote, and reads '~' as a blank.
bool breaks_job_name(char ch) {
    return static_cast<unsigned char>(ch) <= ' ' || ch == 0x7f || ch == '#' || ch == '"' ||
           ch == '~';
}

// Packmol reads lines of at most 999 bytes (measured with 20.14); "structure " leaves this much.
constexpr std::size_t MAX_JOB_PATH = 989;

// How the job names a file of the working directory, where packmol runs: by its full path,
// as it always has, when packmol reads that path back intact; else by its name alone.
std::string job_name(const std::string& path) {
    const bool intact = path.starts_with('/') && path.size() <= MAX_JOB_PATH &&
                        is_valid_utf8(path) &&
                        std::none_of(path.begin(), path.end(), breaks_job_name);
    return intact ? path : path.substr(path.rfind('/') + 1);
}

// "species_{position}_{name}.pdb", with the bytes of the name that packmol would not read back
// as part of a file name written as '_'. The position keeps the names apart.
std::string template_file_name(std::size_t position, std::string_view species_name) {
    std::string name(species_name);
    std::replace_if(name.begin(), name.end(), breaks_job_name, '_');
    return fmt::format("species_{}_{}.pdb", position, name);
}

std::string job_text(std::span<const SpeciesTemplate> templates, const std::string& output_path,
                     const PackmolJob& job) {
    fmt::memory_buffer out;
    auto text = [&out](std::string_view piece) { append(out, piece); };
    text("# created by mixgrid\ntolerance ");
    append_decimal(out, job.tolerance, 2);
    text("\nfiletype pdb\noutput ");
    text(job_name(output_path));
    text("\n");
    if (job.seed) fmt::format_to(std::back_inserter(out), "seed {}\n", *job.seed);
    for (const auto& species : templates) {
        text("\nstructure ");
        text(job_name(species.path));
        fmt::format_to(std::back_inserter(out), "\n  number {}\n  inside box", species.count);
        for (const Position* corner : {&job.low, &job.high}) {
            for (double bound : *corner) {
                out.push_back(' ');
                append_decimal(out, bound, 4);
            }
        }
        text("\nend structure\n");
    }
    return fmt::to_string(out);
}

Result<void> write_text(const std::string& path, std::string_view contents) {
    return replace_file(path, contents).map_error(about(path));
}

// The status note shown as a warning when packmol fails yet leaves a usable structure behind.
std::string status_note(const ChildOutput& child) {
    std::string status = child.exit_code ? fmt::format("Some({})", *child.exit_code) : "None";
    return fmt::format("packmol exited with status {}:\nstdout:\n{}\nstderr:\n{}", status,
                       lossy_utf8(child.standard_output), lossy_utf8(child.standard_error));
}

// Why a signal ended Packmol, for a failure that would otherwise blame its output. The file-size
// limit (`ulimit -f`) is the one a user most likely set without thinking of Packmol.
std::string signal_cause(int signal_number) {
    const char* description = ::strsignal(signal_number);
    std::string cause = fmt::format("packmol was ended by signal {} ({})", signal_number,
                                    description ? description : "unknown");
    rlimit limit{};
    if (signal_number == SIGXFSZ && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY) {
        cause += fmt::format(
            ": its output reached the limit on the size of a file this process may write, {} "
            "bytes (ulimit -f); raise the limit or build a smaller system",
            static_cast<std::uint64_t>(limit.rlim_cur));
    } else if (signal_number == SIGXFSZ) {
        cause += ": its output reached the limit on the size of a file (ulimit -f)";
    }
    return cause;
}

// Packmol runs in the working directory, so that the job's short names find their files.
Result<ChildOutput> run_packmol(const std::string& work_dir, const std::string& job_path,
                                const std::stop_token& stop) {
    BW_TRY(UniqueFd job, open_for_reading(job_path).map_error(about(job_path)));
    auto child = run_to_completion({"packmol", job.get(), work_dir}, stop);
    if (!child && child.error().error_number() == ECANCELED) {
        return fail("packmol was stopped before it finished: the build was interrupted");
    }
    return std::move(child).map_error(about("packmol"));
}

bool file_exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The position counts every species, so a file name keeps its species' place in the job's list.
Result<std::vector<SpeciesTemplate>> write_templates(const std::string& work_dir,
                                                     std::span<const CountedMolecule> species) {
    std::vector<SpeciesTemplate> templates;
    templates.reserve(species.size());
    for (std::size_t position = 0; position < species.size(); ++position) {
        const auto& [molecule, count] = species[position];
        if (count == 0) continue;
        std::string path = join_path(work_dir, template_file_name(position, molecule->name));
        BW_TRY_VOID(write_text(path, template_text(*molecule)));
        templates.push_back({std::move(path), count});
    }
    return templates;
}

}  // namespace

Result<double> packing_box_edge(std::span<const CountedMolecule> species,
                                const ForceField& force_field, double density) {
    if (species.empty()) return fail("no species with count > 0 to pack");
    // Written so that NaN fails too: it would make every length of the job NaN.
    if (!(density > 0)) return fail("density must be positive");
    BW_TRY(double mass, total_mass(species, force_field));
    if (mass <= 0) return fail("total system mass is zero; nothing to pack");
    return cube_edge_for(mass, density);
}

Result<PackmolRun> run_packmol_job(const std::string& work_dir, const PackmolJob& job,
                                   const std::stop_token& stop) {
    BW_TRY(std::uint64_t expected_atoms, total_atoms(job.species));
    BW_TRY(auto templates, write_templates(work_dir, job.species));
    std::string output_path = join_path(work_dir, "simbox.pdb");
    std::string job_path = join_path(work_dir, "pack.inp");
    BW_TRY_VOID(write_text(job_path, job_text(templates, output_path, job)));

    BW_TRY(auto child, run_packmol(work_dir, job_path, stop));
    std::optional<std::string> note;
    if (!child.succeeded()) note = status_note(child);

    if (!file_exists(output_path)) {
        return fail("packmol did not produce the expected output file {}{}{}",
                    lossy_utf8(output_path), note ? "\n" + *note : std::string(),
                    child.signal ? "\n" + signal_cause(*child.signal) : "");
    }
    auto parsed = parse_packed_pdb(output_path);
    if (!parsed && child.signal) {
        return fail("{}\n{}", parsed.error().message, signal_cause(*child.signal));
    }
    BW_TRY(auto coordinates, std::move(parsed));
    if (coordinates.size() != expected_atoms) {
        return fail("packmol output has {} atoms, expected {}{}", coordinates.size(),
                    expected_atoms, child.signal ? "\n" + signal_cause(*child.signal) : "");
    }
    return PackmolRun{std::move(coordinates), std::move(note)};
}

Result<PackedSystem> pack_system(const std::string& work_dir,
                                 std::span<const CountedMolecule> species,
                                 const ForceField& force_field, double density, double tolerance,
                                 const std::stop_token& stop) {
    BW_TRY(double box_edge, packing_box_edge(species, force_field, density));
    double low = wall_margin(tolerance, box_edge);
    double high = box_edge - low;
    PackmolJob job{species, {low, low, low}, {high, high, high}, tolerance, std::nullopt};
    BW_TRY(auto run, run_packmol_job(work_dir, job, stop));
    return PackedSystem{std::move(run.coordinates), box_edge, std::move(run.note)};
}

}  // namespace boxwright
