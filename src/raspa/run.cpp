#include "raspa/run.hpp"

#include <fcntl.h>
#include <rapidjson/document.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "base/io.hpp"
#include "base/process.hpp"
#include "base/unique_fd.hpp"
#include "base/utf8.hpp"
#include "coords/raspa_restart.hpp"

namespace boxwright {
namespace {

using Clock = std::chrono::steady_clock;

// How long each wait for RASPA3 lasts before the stop, the time limit and its progress are looked
// at again.
constexpr std::chrono::milliseconds POLL_INTERVAL{100};
// How often its output is read for progress: often enough to follow, seldom enough to cost nothing.
constexpr std::chrono::milliseconds PROGRESS_INTERVAL{500};
// RASPA3's output is large; its standard error, where its failures go, is short.
constexpr std::size_t MESSAGE_LIMIT = 2000;

constexpr std::string_view INSTALL_HINT =
    "RASPA3 publishes release packages (.deb for Debian 12 and 13 and for Ubuntu, .rpm, and "
    "conda-forge's raspa3) and builds from its source";

bool is_executable_file(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> on_path(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + std::string(name);
        if (is_executable_file(candidate)) return candidate;
        if (colon == std::string_view::npos) return std::nullopt;
        dirs.remove_prefix(colon + 1);
    }
}

// A name without a slash is looked up through PATH, as a shell would.
std::optional<std::string> executable(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return is_executable_file(program) ? std::optional(program) : std::nullopt;
    }
    return on_path(program);
}

// The file in `dir` whose name has this prefix and suffix (RASPA3 puts the temperature and the
// pressure between them, formatted its own way).
std::optional<std::string> find_output(const std::string& dir, std::string_view prefix,
                                       std::string_view suffix) {
    std::error_code error;
    std::filesystem::directory_iterator entries(dir, error);
    if (error) return std::nullopt;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix) &&
            name.size() >= prefix.size() + suffix.size()) {
            return entry.path().string();
        }
    }
    return std::nullopt;
}

// Follows RASPA3's text output as it grows, for the lines that say which cycle it has reached:
// "Initialization: Current cycle: 10 out of 200" and, in production, "Current cycle: 10 out of
// 300".
class CycleReader {
  public:
    CycleReader(std::string output_dir, std::uint64_t init_cycles)
        : output_dir_(std::move(output_dir)), init_cycles_(init_cycles) {}

    // Cycles done so far, initialisation and production together.
    std::uint64_t read() {
        if (!path_) path_ = find_output(output_dir_, "output_", ".s0.txt");
        if (!path_) return done_;
        std::ifstream in(*path_, std::ios::binary);
        if (!in) return done_;
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        offset_ += chunk.size();
        pending_ += chunk;
        std::size_t start = 0;
        for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
             start = end + 1) {
            take(std::string_view(pending_).substr(start, end - start));
        }
        pending_.erase(0, start);
        return done_;
    }

  private:
    void take(std::string_view line) {
        constexpr std::string_view CURRENT = "Current cycle: ";
        const std::size_t at = line.find(CURRENT);
        if (at == std::string_view::npos) return;
        const bool initialising = line.substr(0, at).find("Initialization") != std::string::npos;
        std::uint64_t cycle = 0;
        for (char c : line.substr(at + CURRENT.size())) {
            if (c < '0' || c > '9') break;
            cycle = cycle * 10 + static_cast<std::uint64_t>(c - '0');
        }
        done_ = std::max(done_, initialising ? cycle : init_cycles_ + cycle);
    }

    std::string output_dir_;
    std::uint64_t init_cycles_;
    std::optional<std::string> path_;
    std::size_t offset_ = 0;
    std::string pending_;
    std::uint64_t done_ = 0;
};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) {
        text.pop_back();
    }
    if (text.size() > MESSAGE_LIMIT) text = "..." + text.substr(text.size() - MESSAGE_LIMIT);
    return lossy_utf8(text);
}

Result<void> check_exit(const ChildOutput& output) {
    if (output.succeeded()) return {};
    std::string message = trimmed(output.standard_error);
    if (message.empty()) message = trimmed(output.standard_output);
    const std::string how = output.exit_code
                                ? fmt::format("exited with status {}", *output.exit_code)
                                : std::string("was ended by a signal");
    return fail("RASPA3 failed ({}): {}", how, message.empty() ? "no message" : message);
}

double summed(const rapidjson::Value& value) {
    if (value.IsNumber()) return value.GetDouble();
    double sum = 0;
    if (value.IsArray()) {
        for (const auto& element : value.GetArray()) {
            if (element.IsNumber()) sum += element.GetDouble();
        }
    }
    return sum;
}

const rapidjson::Value* member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

// The final energy and the moves' acceptance from RASPA3's JSON output. A DOM here, not the
// binding layer: the document is RASPA3's, large and mostly of no interest, and read for a few
// values at known places.
Result<void> read_statistics(const std::string& path, RaspaOutcome& outcome) {
    BW_TRY(const std::string text,
           read_utf8_file(path, std::uint64_t{256} << 20).map_error(about(path)));
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    const rapidjson::Value* output =
        document.HasParseError() ? nullptr : member(document, "output");
    const rapidjson::Value* energies = output ? member(*output, "recomputedEnergies") : nullptr;
    const rapidjson::Value* energy =
        energies ? member(*energies, "Total potential energy [K]") : nullptr;
    if (!energy || !energy->IsNumber()) {
        return fail("reading RASPA3's output {}: no final potential energy in it",
                    lossy_utf8(path));
    }
    outcome.energy_k = energy->GetDouble();
    const rapidjson::Value* moves = member(*output, "MCMoveStatistics");
    const rapidjson::Value* system = moves ? member(*moves, "system") : nullptr;
    if (!system || !system->IsObject()) return {};
    for (const auto& component : system->GetObject()) {
        if (!component.value.IsObject()) continue;
        for (const auto& move : component.value.GetObject()) {
            const auto* total = member(move.value, "total");
            const auto* accepted = member(move.value, "accepted");
            if (!total || !accepted || !(summed(*total) > 0)) continue;
            outcome.acceptance.push_back({component.name.GetString(), move.name.GetString(),
                                          summed(*accepted), summed(*total)});
        }
    }
    return {};
}

std::vector<RestartComponent> restart_components(std::span<const CountedMolecule> species) {
    std::vector<RestartComponent> components;
    for (const auto& counted : species) {
        if (counted.count == 0) continue;
        const Molecule& molecule = *counted.molecule;
        components.push_back({component_name(molecule), counted.count, molecule.pseudo_atoms.size(),
                              extra_sites(molecule)});
    }
    return components;
}

Result<void> write_input(const std::string& run_dir, std::span<const CountedMolecule> species,
                         const ForceField& force_field, const RaspaConditions& conditions) {
    BW_TRY(const auto files, raspa_input_files(species, force_field, conditions));
    for (const auto& file : files) {
        const std::string path = run_dir + "/" + file.name;
        BW_TRY_VOID(replace_file(path, file.text).map_error(about(path)));
    }
    return {};
}

class RaspaWatch {
  public:
    RaspaWatch(const Watch& watch, const RaspaJob& job)
        : watch_(watch),
          cycles_(job.run_dir + "/output", job.conditions.init_cycles),
          total_(job.conditions.init_cycles + job.conditions.cycles) {}

    // Null while RASPA3 may go on.
    std::optional<FfError> look() {
        const auto now = Clock::now();
        const std::chrono::duration<double> elapsed = now - started_;
        if (watch_.time_limit && elapsed >= *watch_.time_limit) {
            return FfError{fmt::format(
                "RASPA3 stopped: the time limit of {} s was spent after {} of {} cycles",
                watch_.time_limit->count(), cycles_.read(), total_)};
        }
        if (watch_.stop_requested()) return interrupted();
        if (now - last_progress_ < PROGRESS_INTERVAL) return std::nullopt;
        last_progress_ = now;
        const std::uint64_t done = cycles_.read();
        if (done == reported_ || !watch_.progress) return std::nullopt;
        reported_ = done;
        const double pace = done > 0 ? elapsed.count() / static_cast<double>(done) : 0;
        const Progress progress{done, total_, elapsed.count(),
                                pace * static_cast<double>(total_ > done ? total_ - done : 0)};
        if (!watch_.progress(progress)) return interrupted();
        return std::nullopt;
    }

  private:
    FfError interrupted() {
        return {fmt::format("RASPA3 interrupted after {} of {} cycles", cycles_.read(), total_)};
    }

    const Watch& watch_;
    CycleReader cycles_;
    std::uint64_t total_;
    Clock::time_point started_ = Clock::now();
    Clock::time_point last_progress_ = started_;
    std::uint64_t reported_ = 0;
};

Result<ChildOutput> run_child(const RaspaJob& job, const Watch& watch) {
    const UniqueFd nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!nothing) return tl::unexpected(OsError(OsOperation::Opening, errno).about("/dev/null"));
    const LaunchRequest launch{job.program, nothing.get(), job.run_dir};
    BW_TRY(auto child, ChildProcess::start(launch).map_error(about(job.program)));
    RaspaWatch looking(watch, job);
    while (true) {
        BW_TRY(const bool exited, child.pump(POLL_INTERVAL).map_error(about(job.program)));
        if (exited) return child.output();
        if (auto stopped = looking.look()) {
            child.stop();
            return tl::unexpected(std::move(*stopped));
        }
    }
}

}  // namespace

Result<std::string> find_raspa3(const std::optional<std::string>& given) {
    if (given) {
        if (auto found = executable(*given)) return *found;
        return fail("RASPA3 program {} was not found or is not executable; {}", lossy_utf8(*given),
                    INSTALL_HINT);
    }
    if (const char* variable = std::getenv(RASPA3_VARIABLE); variable && *variable) {
        if (auto found = executable(variable)) return *found;
        return fail("RASPA3 program {} (from {}) was not found or is not executable; {}",
                    lossy_utf8(variable), RASPA3_VARIABLE, INSTALL_HINT);
    }
    if (auto found = on_path("raspa3")) return *found;
    return fail(
        "RASPA3 was not found: no raspa3 on PATH; install it, or give its path (raspa3=..., "
        "--raspa3 PATH, or the environment variable {}); {}",
        RASPA3_VARIABLE, INSTALL_HINT);
}

Result<RaspaOutcome> run_raspa3(const RaspaJob& job, std::span<const CountedMolecule> species,
                                const ForceField& force_field, const Watch& watch) {
    BW_TRY_VOID(write_input(job.run_dir, species, force_field, job.conditions));
    BW_TRY(const auto output, run_child(job, watch));
    BW_TRY_VOID(check_exit(output));
    const std::string output_dir = job.run_dir + "/output";
    const auto restart = find_output(output_dir, "restart_", ".s0.json");
    const auto statistics = find_output(output_dir, "output_", ".s0.json");
    if (!restart || !statistics) {
        return fail("RASPA3 finished but left no final configuration in {}",
                    lossy_utf8(output_dir));
    }
    const auto components = restart_components(species);
    BW_TRY(auto read, read_raspa_restart(*restart, components));
    RaspaOutcome outcome;
    outcome.positions = std::move(read.positions);
    outcome.box_length = read.box_length;
    outcome.init_cycles = job.conditions.init_cycles;
    outcome.cycles = job.conditions.cycles;
    outcome.cutoff_vdw = job.conditions.cutoff_vdw;
    outcome.cutoff_coulomb = job.conditions.cutoff_coulomb;
    outcome.charged = carries_charges(species, force_field);
    BW_TRY_VOID(read_statistics(*statistics, outcome));
    return outcome;
}

}  // namespace boxwright
