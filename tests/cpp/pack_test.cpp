#include "packmol/pack.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::make_molecule;

// Packing reads only the molecules' names, atoms and reference positions, and the masses.
ForceField masses() {
    ForceField ff;
    for (auto [name, mass] : {std::pair{"O_w", 15.9994},
                              {"H_w", 1.008},
                              {"CH4_sp3", 16.043},
                              {"\xC3\x85_xyz", 1.0},
                              {"Ghost", 0.0}}) {
        ff.pseudo_atoms[name].mass = mass;
    }
    return ff;
}

const Molecule water = make_molecule(
    "water", {{"O_w", {0, 0, 0}}, {"H_w", {0.9572, 0, 0}}, {"H_w", {-0.24, 0.9266, 0}}});

ActiveList active_of(std::initializer_list<std::pair<const Molecule*, std::uint64_t>> pairs) {
    ActiveList active;
    for (auto [source, count] : pairs)
        active.push_back({ResolvedMolecule{{}, {}, {}, source}, count});
    return active;
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(PackSystem, ChecksComeFirstAndWriteNothing) {
    const Molecule odd = make_molecule("odd", {{"O_w", {}}, {"Zz", {}}});
    const Molecule ghost = make_molecule("ghost", {{"Ghost", {}}});
    const struct {
        const char* name;
        ActiveList active;
        double density;
        const char* message;
    } cases[] = {
        {"empty list before density", {}, -1, "no species with count > 0 to pack"},
        {"density 0", active_of({{&water, 1}}), 0, "density must be positive"},
        {"density NaN", active_of({{&water, 1}}), NaN, "density must be positive"},
        {"unknown pseudo atom", active_of({{&water, 1}, {&odd, 2}}), 1000,
         "molecule 'odd' uses pseudo-atom type 'Zz' not present in the force field"},
        {"massless", active_of({{&ghost, 10}, {&water, 0}}), 1000,
         "total system mass is zero; nothing to pack"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir work;
        EXPECT_EQ(test::error_of(pack_system(work.path(), c.active, masses(), c.density, 2)),
                  c.message);
        EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    }
}

// With no packmol to run, the job stays behind exactly as packmol would have read it. The count-0
// methane gets no file but keeps its place: ab is species 2.
TEST(PackSystem, WritesTemplatesAndJobThenFailsToLaunch) {
    const Molecule methane = make_molecule("methane", {{"CH4_sp3", {}}});
    const Molecule ab = make_molecule("ab", {{"CH4_sp3", {1.5, -2.25, 0.0004}},
                                             {"O_w", {-0.0004, 12345.678, -123456.789}},
                                             {"\xC3\x85_xyz", {0, 0, 0}}});
    test::TempDir work, empty_bin;
    test::ScopedEnv path("PATH", empty_bin.path());
    auto active = active_of({{&water, 2}, {&methane, 0}, {&ab, 1}});
    EXPECT_EQ(test::error_of(pack_system(work.path(), active, masses(), 10, 0.5)),
              "failed to launch packmol (is it installed and on PATH?): "
              "No such file or directory (os error 2)");

    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()),
                            std::filesystem::directory_iterator()),
              3);
    EXPECT_EQ(test::read_file(work.file("species_0_water.pdb")), R"(COMPND    water
HETATM    1 O_w  wat     1       0.000   0.000   0.000  1.00  0.00
HETATM    2 H_w  wat     1       0.957   0.000   0.000  1.00  0.00
HETATM    3 H_w  wat     1      -0.240   0.927   0.000  1.00  0.00
END
)");
    // Names are cut by characters (Å is two bytes); wide numbers push the rest of the line.
    EXPECT_EQ(test::read_file(work.file("species_2_ab.pdb")),
              "COMPND    ab\n"
              "HETATM    1 CH4_ ab      1       1.500  -2.250   0.000  1.00  0.00\n"
              "HETATM    2 O_w  ab      1      -0.00012345.678-123456.789  1.00  0.00\n"
              "HETATM    3 \xC3\x85_xy ab      1       0.000   0.000   0.000  1.00  0.00\n"
              "END\n");
    EXPECT_EQ(test::read_file(work.file("pack.inp")), fmt::format(R"(# created by mixgrid
tolerance 0.50
filetype pdb
output {0}/simbox.pdb

structure {0}/species_0_water.pdb
  number 2
  inside box 1.5000 1.5000 1.5000 21.0521 21.0521 21.0521
end structure

structure {0}/species_2_ab.pdb
  number 1
  inside box 1.5000 1.5000 1.5000 21.0521 21.0521 21.0521
end structure
)",
                                                                  work.path()));
}

// The margin from the walls is the tolerance, at least 1.5 and at most a quarter of the edge.
TEST(PackSystem, BoxEdgeAndWallMargin) {
    test::TempDir empty_bin;
    test::ScopedEnv path("PATH", empty_bin.path());
    const struct {
        double mass;
        std::uint64_t count;
        double tolerance;
        std::string job;  // the tolerance line, and the box line of the structure
    } cases[] = {
        {18.0154, 1000, 2.0, "tolerance 2.00|2.0000 2.0000 2.0000 29.0430 29.0430 29.0430"},
        {38541.700864, 1, 2.0, "tolerance 2.00|2.0000 2.0000 2.0000 38.0000 38.0000 38.0000"},
        {38541.700864, 1, 0.5, "tolerance 0.50|1.5000 1.5000 1.5000 38.5000 38.5000 38.5000"},
        {38541.700864, 1, 20, "tolerance 20.00|10.0000 10.0000 10.0000 30.0000 30.0000 30.0000"},
        {38541.700864, 1, NaN, "tolerance NaN|1.5000 1.5000 1.5000 38.5000 38.5000 38.5000"},
        {38541.700864, 1, inf, "tolerance inf|10.0000 10.0000 10.0000 30.0000 30.0000 30.0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.job);
        ForceField ff;
        ff.pseudo_atoms["X"].mass = c.mass;
        const Molecule lump = make_molecule("lump", {{"X", {}}});
        test::TempDir work;
        (void)pack_system(work.path(), active_of({{&lump, c.count}}), ff, 1000, c.tolerance);
        auto job = test::read_file(work.file("pack.inp"));
        auto line = [&](std::string_view head) {
            auto at = job.find(head) + head.size();
            return job.substr(at, job.find('\n', at) - at);
        };
        EXPECT_EQ(line("\n") + "|" + line("inside box "), c.job);
    }
}

}  // namespace
}  // namespace boxwright
