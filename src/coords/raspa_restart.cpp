#include "coords/raspa_restart.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "base/numbers.hpp"
#include "base/utf8.hpp"
#include "coords/coordinate_file.hpp"
#include "coords/reader_support.hpp"
#include "ff/json_binding.hpp"

namespace boxwright {
namespace {

// Right angles within this many degrees, equal edges within this fraction of the edge: RASPA3
// writes full precision, so anything further off is another box, not rounding.
constexpr double RIGHT_ANGLE_SLACK_DEGREES = 1e-6;
constexpr double EQUAL_EDGE_SLACK = 1e-9;

struct SimulationBox {
    double a = 0, b = 0, c = 0;
    double alpha = 0, beta = 0, gamma = 0;
};

using Rows = std::vector<Position>;

struct RestartDocument {
    std::optional<SimulationBox> box;
    std::vector<std::pair<std::string, Rows>> components;  // in file order
};

const json::Shape<SimulationBox>& box_shape() {
    using json::required;
    static const auto shape = json::record<SimulationBox>(
        "SimulationBox",
        {required("length-a", &SimulationBox::a), required("length-b", &SimulationBox::b),
         required("length-c", &SimulationBox::c), required("angle-alpha", &SimulationBox::alpha),
         required("angle-beta", &SimulationBox::beta),
         required("angle-gamma", &SimulationBox::gamma)});
    return shape;
}

const json::Shape<Rows>& rows_shape() {
    static const auto shape = json::sequence_of(
        json::fixed_array<double, 3>(json::f64(), "an array of length 3 ([x, y, z])"));
    return shape;
}

// The document's top level: the box under "SimulationBox", and every other key a component's
// positions. Components are named by the user, so they cannot be a fixed record.
class RestartSink final : public json::Sink {
  public:
    explicit RestartSink(RestartDocument& target) : target_(target) {}
    std::string expected() const override { return "a RASPA3 restart object"; }
    json::Status start_object() override { return {}; }
    json::Next key(std::string_view key) override {
        if (key == "SimulationBox") {
            if (target_.box) return fail("duplicate field `SimulationBox`");
            child_ = box_shape()(target_.box.emplace());
            return child_.get();
        }
        for (const auto& [name, rows] : target_.components) {
            if (name == key) return fail("duplicate component `{}`", key);
        }
        child_ = rows_shape()(target_.components.emplace_back(std::string(key), Rows{}).second);
        return child_.get();
    }
    json::Status end_object() override {
        if (!target_.box) return fail("missing field `SimulationBox`");
        return {};
    }

  private:
    RestartDocument& target_;
    std::unique_ptr<json::Sink> child_;
};

json::Shape<RestartDocument> document_shape() {
    return [](RestartDocument& target) { return std::make_unique<RestartSink>(target); };
}

Result<double> cube_edge(const std::string& path, const SimulationBox& box) {
    const auto right = [](double angle) {
        return std::abs(angle - 90.0) <= RIGHT_ANGLE_SLACK_DEGREES;
    };
    const bool finite = std::isfinite(box.a) && box.a > 0;
    const auto equal = [&](double edge) {
        return std::abs(edge - box.a) <= EQUAL_EDGE_SLACK * box.a;
    };
    if (!finite || !equal(box.b) || !equal(box.c) || !right(box.alpha) || !right(box.beta) ||
        !right(box.gamma)) {
        return fail_in(path,
                       "{}: the box is not a cube: edges {} x {} x {} \u00c5, angles {}, {}, {} "
                       "degrees",
                       lossy_utf8(path), plain_number(box.a), plain_number(box.b),
                       plain_number(box.c), plain_number(box.alpha), plain_number(box.beta),
                       plain_number(box.gamma));
    }
    return box.a;
}

// The image of a molecule whose first atom lies in [0, edge) on every axis.
void move_into_box(std::span<Position> molecule, double edge) {
    if (molecule.empty()) return;
    Position shift{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        shift[axis] = -std::floor(molecule.front()[axis] / edge) * edge;
    }
    for (auto& atom : molecule) {
        for (std::size_t axis = 0; axis < 3; ++axis) atom[axis] += shift[axis];
    }
}

const Rows* rows_of(const RestartDocument& document, std::string_view name) {
    for (const auto& [key, rows] : document.components) {
        if (key == name) return &rows;
    }
    return nullptr;
}

Result<void> check_components_known(const std::string& path, const RestartDocument& document,
                                    std::span<const RestartComponent> components) {
    for (const auto& [key, rows] : document.components) {
        if (rows.empty()) continue;
        const bool known = std::ranges::any_of(
            components, [&](const RestartComponent& component) { return component.name == key; });
        if (!known) {
            return fail_in(path,
                           "{}: component '{}' has {} positions but is no species of the build",
                           lossy_utf8(path), key, rows.size());
        }
    }
    return {};
}

Result<void> append_component(const std::string& path, const RestartComponent& component,
                              const Rows& rows, double edge, std::vector<Position>& out) {
    const std::size_t sites = component.atoms + component.dropped;
    const std::uint64_t expected = component.molecules * sites;
    if (rows.size() != expected) {
        return fail_in(
            path, "{}: component '{}' has {} positions, but {} molecules of {} sites need {}",
            lossy_utf8(path), component.name, rows.size(), component.molecules, sites, expected);
    }
    for (const auto& row : rows) {
        if (!std::isfinite(row[0]) || !std::isfinite(row[1]) || !std::isfinite(row[2])) {
            return fail_in(path, "{}: component '{}' has a position that is not finite",
                           lossy_utf8(path), component.name);
        }
    }
    for (std::uint64_t molecule = 0; molecule < component.molecules; ++molecule) {
        const std::size_t first = out.size();
        const auto from = rows.begin() + static_cast<std::ptrdiff_t>(molecule * sites);
        out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(component.atoms));
        move_into_box(std::span(out).subspan(first), edge);
    }
    return {};
}

}  // namespace

Result<CoordinateFile> read_raspa_restart_file(const std::string& path,
                                               const ExpectedAtoms& expected,
                                               const CoordinateReadOptions& options) {
    std::vector<RestartComponent> components;
    for (const auto& [molecule, count] : expected.species()) {
        // A water that declares its M site carries it in RASPA3 as a fourth atom.
        const std::size_t atoms = molecule->pseudo_atoms.size();
        const std::size_t m_sites = molecule->m_site && atoms == 3 ? 1 : 0;
        components.push_back({molecule->name, count, atoms, m_sites});
    }
    BW_TRY(auto read, read_raspa_restart(path, components));
    if (options.box_length && !coords::same_length(*options.box_length, read.box_length)) {
        return fail_in(path, "{}: the file's box edge {} differs from the box length {} given",
                       lossy_utf8(path), plain_number(read.box_length),
                       plain_number(*options.box_length));
    }
    return CoordinateFile{std::move(read.positions), read.box_length};
}

Result<RaspaRestart> read_raspa_restart(const std::string& path,
                                        std::span<const RestartComponent> components) {
    BW_TRY(const auto document, json::load_file(path, document_shape()));
    BW_TRY(const double edge, cube_edge(path, *document.box));
    BW_TRY_VOID(check_components_known(path, document, components));
    RaspaRestart restart{{}, edge};
    for (const auto& component : components) {
        const Rows* rows = rows_of(document, component.name);
        if (!rows) {
            if (component.molecules == 0) continue;
            return fail_in(path, "{}: no positions of component '{}'", lossy_utf8(path),
                           component.name);
        }
        BW_TRY_VOID(append_component(path, component, *rows, edge, restart.positions));
    }
    return restart;
}

}  // namespace boxwright
