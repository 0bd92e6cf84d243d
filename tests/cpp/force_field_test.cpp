#include "ff/force_field.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

class ForceFieldLoad : public ::testing::Test {
  protected:
    // Writes `json` as force_field.json and loads it.
    Result<ForceField> load(std::string_view json) { return ForceField::load(write(json)); }
    std::string write(std::string_view json) { return dir.write("force_field.json", json); }
    std::string path() const { return dir.file("force_field.json"); }

    test::TempDir dir;
};

// Two pseudo atoms A and B with self interactions; `binary` is the BinaryInteractions array.
std::string with_binary(std::string_view binary) {
    return fmt::format(R"({{"MixingRule": "Lorentz-Berthelot",
        "PseudoAtoms": [{{"name": "A", "mass": 1, "charge": 0}}, {{"name": "B", "mass": 2, "charge": 0}}],
        "SelfInteractions": [{{"name": "A", "parameters": [1, 2]}}, {{"name": "B", "parameters": [3, 4]}}],
        "BinaryInteractions": {}}})",
                       binary);
}

TEST_F(ForceFieldLoad, KeepsParametersSourcesAndCrossTerms) {
    auto ff = load(R"({
        "MixingRule": "Lorentz-Berthelot",
        "CutOffVDW": 14.5,
        "PseudoAtoms": [
            {"name": "O", "mass": 15.9994, "charge": -0.8476, "source": "same"},
            {"name": "H", "mass": 1.008, "charge": 0.4238, "source": "atom paper"},
            {"name": "Ar", "mass": 39.948, "charge": 0, "source": null},
            ["Ne", 20.18, 0]
        ],
        "SelfInteractions": [
            {"name": "O", "type": "Lennard-Jones", "parameters": [78.2, 3.166], "source": "same"},
            {"name": "H", "type": "LENNARD-JONES", "parameters": [0, 0], "source": "self paper"},
            {"name": "Ar", "parameters": [119.8, 3.4]},
            {"name": "unused", "type": "buckingham", "parameters": [1, 2, 3]}
        ],
        "BinaryInteractions": [
            {"names": ["O", "Ar"], "parameters": [50, 3.3], "source": "cross paper"},
            {"names": ["H", "H"], "type": "lennard-jones", "parameters": [5, 6]}
        ]
    })");
    ASSERT_TRUE(ff) << ff.error().message;
    EXPECT_EQ(ff->mixing_rule, "Lorentz-Berthelot");
    EXPECT_EQ(ff->cutoff_vdw, 14.5);
    EXPECT_EQ(ff->pseudo_atoms.size(), 4u);

    const auto* o = ff->pseudo_atom("O");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->mass, 15.9994);
    EXPECT_EQ(o->charge, -0.8476);
    EXPECT_EQ(o->epsilon_k, 78.2);
    EXPECT_EQ(o->sigma_ang, 3.166);
    EXPECT_EQ(o->sources, std::vector<std::string>{"same"});
    EXPECT_EQ(ff->pseudo_atom("H")->sources,
              (std::vector<std::string>{"self paper", "atom paper"}));
    EXPECT_TRUE(ff->pseudo_atom("Ar")->sources.empty());
    const auto* ne = ff->pseudo_atom("Ne");
    ASSERT_NE(ne, nullptr);
    EXPECT_EQ(ne->epsilon_k, 0);
    EXPECT_EQ(ne->sigma_ang, 0);
    EXPECT_EQ(ff->pseudo_atom("unused"), nullptr);
    EXPECT_EQ(ff->pseudo_atom("o"), nullptr);

    // Stored under the canonical order, whatever order the file names them in.
    const auto* cross = ff->binary(norm_pair_key("O", "Ar"));
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(cross->epsilon_k, 50);
    EXPECT_EQ(cross->sigma_ang, 3.3);
    EXPECT_EQ(cross->source, "cross paper");
    ASSERT_NE(ff->binary({"H", "H"}), nullptr);
    EXPECT_FALSE(ff->binary({"H", "H"})->source);
    EXPECT_EQ(ff->binary(norm_pair_key("O", "H")), nullptr);
}

TEST_F(ForceFieldLoad, OptionalSectionsDefault) {
    auto ff = load(
        R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 2}]})");
    ASSERT_TRUE(ff) << ff.error().message;
    EXPECT_EQ(ff->cutoff_vdw, 12);
    EXPECT_EQ(ff->pseudo_atom("X")->epsilon_k, 0);
    EXPECT_TRUE(ff->binary_interactions.empty());
    // The record in array form, optional fields left out at the end.
    EXPECT_TRUE(load(R"(["Lorentz-Berthelot", 10, []])"));
}

TEST_F(ForceFieldLoad, ReadingFailures) {
    EXPECT_EQ(
        error_of(ForceField::load(dir.file("absent.json"))),
        fmt::format("reading {}: No such file or directory (os error 2)", dir.file("absent.json")));
    EXPECT_EQ(error_of(ForceField::load(dir.path())),
              fmt::format("reading {}: Is a directory (os error 21)", dir.path()));
    auto latin1 = dir.write("latin1.json", "{\"MixingRule\": \"\xE9\"}");
    EXPECT_EQ(error_of(ForceField::load(latin1)),
              fmt::format("reading {}: stream did not contain valid UTF-8", latin1));
    std::string with_nul("a\0b.json", 8);
    EXPECT_EQ(error_of(ForceField::load(with_nul)),
              "reading " + with_nul + ": file name contained an unexpected NUL byte");
    // A path that is not UTF-8 is shown with the replacement character.
    EXPECT_EQ(error_of(ForceField::load(dir.file("bad\xFF.json"))),
              fmt::format("reading {}/bad\xEF\xBF\xBD.json: No such file or directory (os error 2)",
                          dir.path()));
}

TEST_F(ForceFieldLoad, ParsingFailuresNameTheKeyAndThePlace) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "the document is empty at line 1 column 1"},
        {"{}", "missing field `MixingRule` at line 1 column 2"},
        {" 5", "invalid type: integer `5`, expected struct ForceFieldRaw at line 1 column 2"},
        {R"({"MixingRule": "Lorentz-Berthelot", "pseudoAtoms": []})",
         "missing field `PseudoAtoms` at line 1 column 54"},
        {R"(["Lorentz-Berthelot"])",
         "invalid length 1, expected struct ForceFieldRaw with 5 elements at line 1 column 21"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "A", "mass": "16", "charge": 0}]})",
         R"(invalid type: string "16", expected f64 at line 1 column 78)"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [7]})",
         "invalid type: integer `7`, expected struct PseudoAtomEntry at line 1 column 53"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [["A", 16]]})",
         "invalid length 2, expected struct PseudoAtomEntry with 4 elements at line 1 column 61"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "SelfInteractions": [{"name": "A"}]})",
         "missing field `parameters` at line 1 column 89"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "SelfInteractions": [["A", "lj"]]})",
         "invalid length 2, expected struct SelfInteractionEntry with 4 elements at line 1 column "
         "87"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "BinaryInteractions": [{"parameters": []}]})",
         "missing field `names` at line 1 column 96"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "BinaryInteractions": [[["A", "B"]]]})",
         "invalid length 1, expected struct BinaryInteractionEntry with 4 elements at line 1 "
         "column 90"},
        {"\xEF\xBB\xBF{\"MixingRule\": \"Lorentz-Berthelot\", \"PseudoAtoms\": []}",
         "invalid value at line 1 column 1"},
        {"{\"MixingRule\": \"Lorentz-Berthelot\", \"PseudoAtoms\": []}\n}",
         "trailing characters at line 2 column 1"},
    };
    for (const auto& [json, description] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(error_of(load(json)), fmt::format("parsing {}: {}", path(), description));
    }
}

TEST_F(ForceFieldLoad, DeepNestingInAnIgnoredKeyIsRefused) {
    auto json = "{\"comment\": " + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(error_of(load(json)),
              fmt::format("parsing {}: recursion limit exceeded at line 1 column 139", path()));
}

TEST_F(ForceFieldLoad, ConsistencyChecksInOrder) {
    const auto p = path();
    const std::pair<std::string, std::string> cases[] = {
        {R"({"MixingRule": "lorentz-berthelot", "PseudoAtoms": []})",
         fmt::format("unsupported MixingRule 'lorentz-berthelot' in {} (only \"Lorentz-Berthelot\" "
                     "is supported)",
                     p)},
        // Checked before the self interactions, which are broken too.
        {R"({"MixingRule": "Jorgensen", "PseudoAtoms": [], "SelfInteractions": [{"name": "X", "parameters": []}, {"name": "X", "parameters": []}]})",
         fmt::format(
             "unsupported MixingRule 'Jorgensen' in {} (only \"Lorentz-Berthelot\" is supported)",
             p)},
        // A repeated self entry fails even when no pseudo atom uses the name.
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "SelfInteractions": [{"name": "X", "parameters": []}, {"name": "X", "parameters": []}]})",
         fmt::format("duplicate SelfInteractions entry for 'X' in {}", p)},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "type": "Mie", "parameters": [1, 2]}]})",
         "unsupported SelfInteractions type 'Mie' for 'X' (only lennard-jones is supported)"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "parameters": [1, 2, 3]}]})",
         "SelfInteractions for 'X' must have [epsilon_K, sigma_Ang], got [1.0, 2.0, 3.0]"},
        // A self entry that no pseudo atom uses is never checked.
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "parameters": [1, 2]}, {"name": "Y", "type": "Mie", "parameters": [1, 2, 3]}]})",
         ""},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "parameters": []}]})",
         "SelfInteractions for 'X' must have [epsilon_K, sigma_Ang], got []"},
        // Entry by entry: the third atom's problem comes before the fifth atom's repeat.
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "B", "mass": 1, "charge": 0}, {"name": "C", "mass": 1, "charge": 0}, {"name": "D", "mass": 1, "charge": 0}, {"name": "A", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "C", "parameters": [1]}]})",
         "SelfInteractions for 'C' must have [epsilon_K, sigma_Ang], got [1.0]"},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "B", "mass": 1, "charge": 0}, {"name": "A", "mass": 1, "charge": 0}]})",
         fmt::format("duplicate PseudoAtoms entry for 'A' in {}", p)},
        {with_binary(R"([{"names": ["A"], "parameters": [1, 2]}])"),
         fmt::format("BinaryInteractions entry in {} must have exactly two \"names\", got [\"A\"]",
                     p)},
        {with_binary(R"([{"names": ["A", "B", "say \"hi\""], "parameters": [1, 2]}])"),
         fmt::format(
             R"(BinaryInteractions entry in {} must have exactly two "names", got ["A", "B", "say \"hi\""])",
             p)},
        // The type is checked before the names, which are unknown here.
        {with_binary(R"([{"names": ["P", "Q"], "type": "Morse", "parameters": [1, 2]}])"),
         "unsupported BinaryInteractions type 'Morse' for (P, Q) (only lennard-jones is "
         "supported)"},
        {with_binary(R"([{"names": ["B", "A"], "parameters": [1]}])"),
         "BinaryInteractions for (B, A) must have [epsilon_K, sigma_Ang], got [1.0]"},
        {with_binary(R"([{"names": ["A", "Q"], "parameters": [1, 2]}])"),
         fmt::format("BinaryInteractions references unknown pseudo-atom 'Q' in {}", p)},
        {with_binary(R"([{"names": ["P", "Q"], "parameters": [1, 2]}])"),
         fmt::format("BinaryInteractions references unknown pseudo-atom 'P' in {}", p)},
        {with_binary(
             R"([{"names": ["A", "B"], "parameters": [1, 2]}, {"names": ["B", "A"], "parameters": [1, 2]}])"),
         fmt::format("duplicate BinaryInteractions entry for (A, B) in {}", p)},
        {R"({"MixingRule": "Lorentz-Berthelot", "PseudoAtoms": [], "BinaryInteractions": [{"names": ["A", "A"], "parameters": [1, 2]}]})",
         fmt::format("BinaryInteractions references unknown pseudo-atom 'A' in {}", p)},
    };
    for (const auto& [json, message] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(error_of(load(json)), message.empty() ? "<success>" : message);
    }
}

TEST(NormPairKey, OrdersBytesAsUnsignedWithPrefixesFirst) {
    const std::tuple<const char*, const char*, NamePair> cases[] = {
        {"A", "B", {"A", "B"}},
        {"B", "A", {"A", "B"}},
        {"CH3", "CH", {"CH", "CH3"}},
        {"a", "B", {"B", "a"}},
        {"\xC3\x85", "z", {"z", "\xC3\x85"}},
        {"O", "O", {"O", "O"}},
    };
    for (const auto& [a, b, key] : cases) {
        SCOPED_TRACE(std::string(a) + " " + b);
        EXPECT_EQ(norm_pair_key(a, b), key);
    }
}

}  // namespace
}  // namespace boxwright
