// ForceField::load, and through it the reading and JSON binding rules that molecule files share.
#include "ff/force_field.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "test_support.hpp"

namespace boxwright {
namespace {

using test::error_of;

// A force field with the only mixing rule there is, then `rest`.
std::string lb(std::string_view rest) {
    return R"({"MixingRule": "Lorentz-Berthelot", )" + std::string(rest);
}

// Pseudo atoms A and B with self interactions, then `binary` as the BinaryInteractions array.
std::string ab(std::string_view binary) {
    return lb(
        R"("PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "B", "mass": 2, "charge": 0}],
        "SelfInteractions": [{"name": "A", "parameters": [1, 2]}, {"name": "B", "parameters": [3, 4]}],
        "BinaryInteractions": )" +
        std::string(binary) + "}");
}

class ForceFieldLoad : public ::testing::Test {
  protected:
    Result<ForceField> load(std::string_view json) {
        return ForceField::load(dir.write("ff.json", json));
    }
    // The failure's message with every {} replaced by the file's path.
    std::string message(std::string_view text) { return fmt::format(fmt::runtime(text), path); }

    test::TempDir dir;
    const std::string path = dir.file("ff.json");
};

// Keys no record reads are kept with their record, their line and the key of that record they most
// likely mean; keys inside a skipped value belong to no record. (A misspelt CutOffVDW, as the user
// is told of it: the mistakes suite.)
TEST_F(ForceFieldLoad, KeepsTheUnknownKeysWithTheKeyTheyMostLikelyMean) {
    auto ff = load(lb(R"("comment": {"PseudoAtom": 1},
        "PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0, "Charge": 1, "note": "x"}],
        "SelfInteractions": [["A", "lennard-jones", [1, 2]], {"name": "B", "parameters": [1, 2],
        "sorce": "x"}],
        "BinaryInteraction": []})"));
    ASSERT_TRUE(ff) << ff.error().message;
    EXPECT_EQ(ff->unknown_keys, (std::vector<UnknownKey>{
                                    {"comment", "top level", 1, {}},
                                    {"Charge", "PseudoAtoms[0]", 2, "charge"},
                                    {"note", "PseudoAtoms[0]", 2, {}},
                                    {"sorce", "SelfInteractions[1]", 4, "source"},
                                    {"BinaryInteraction", "top level", 5, "BinaryInteractions"},
                                }));

    // A hostile file: a long key costs no comparison, and only the first 100 keys are kept.
    std::string many = R"("PseudoAtoms": [], ")" + std::string(1 << 20, 'k') + R"(": {"a": [1]})";
    for (int i = 0; i < 1000; ++i) many += R"(, "k": 0)";
    ff = load(lb(many + "}"));
    ASSERT_TRUE(ff) << ff.error().message;
    ASSERT_EQ(ff->unknown_keys.size(), 100u);
    EXPECT_EQ(ff->unknown_keys[0].key.size(), std::size_t{1} << 20);
    EXPECT_EQ(ff->unknown_keys[0].suggestion, std::nullopt);
}

TEST_F(ForceFieldLoad, ReadingFailuresNameThePathAndTheReason) {
    const std::string latin1 = dir.write("latin1.json", "{\"MixingRule\": \"\xE9\"}");
    // Sparse: one byte beyond the limit costs no disk.
    const std::string huge = dir.write("huge.json", "");
    std::filesystem::resize_file(huge, (std::uintmax_t{256} << 20) + 1);
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/zero", "not a regular file"},  // never read without end
        {huge, "file is larger than the limit of 256 MiB"},
        {dir.path(), "Is a directory (os error 21)"},
        {latin1, "stream did not contain valid UTF-8"},
    };
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(file);
        const auto ff = ForceField::load(file);
        EXPECT_EQ(error_of(ff), "reading " + file + ": " + reason);
        EXPECT_EQ(ff ? "" : ff.error().file, file);
    }
    // A path that is not UTF-8 is shown with the replacement character.
    EXPECT_EQ(
        error_of(ForceField::load(dir.file("bad\xFF.json"))),
        "reading " + dir.path() + "/bad\xEF\xBF\xBD.json: No such file or directory (os error 2)");
}

// The JSON reader's own words for pure syntax errors, ours for the binding; every one with the
// place it was found, the file and the line the error carries too. An empty description means the
// file loads.
TEST_F(ForceFieldLoad, ParsingFailuresNameTheProblemAndItsPlace) {
    const auto nested = [](std::size_t levels) {  // the document's object is the first level
        return lb(R"("x": )" + std::string(levels - 1, '[') + std::string(levels - 1, ']') +
                  R"(, "PseudoAtoms": []})");
    };
    const std::pair<std::string, const char*> cases[] = {
        {"", "the document is empty at line 1 column 1"},
        {lb(R"("pseudoAtoms": []})"), "missing field `PseudoAtoms` at line 1 column 54"},
        {R"(["Lorentz-Berthelot"])",
         "invalid length 1, expected struct ForceFieldRaw with 5 elements at line 1 column 21"},
        {R"(["Lorentz-Berthelot", 10, []])", ""},
        {R"({"MixingRule": "a", "MixingRule": "b"})",
         "duplicate field `MixingRule` at line 1 column 32"},
        {lb(R"("PseudoAtoms": [{"name": "A", "mass": "16", "charge": 0}]})"),
         R"(invalid type: string "16", expected f64 at line 1 column 78)"},
        {lb(R"("PseudoAtoms": null})"),
         "invalid type: null, expected a sequence at line 1 column 55"},
        {lb(R"("PseudoAtoms": [["A", 16]]})"),
         "invalid length 2, expected struct PseudoAtomEntry with 4 elements at line 1 column 61"},
        {"\xEF\xBB\xBF" + lb(R"("PseudoAtoms": []})"), "invalid value at line 1 column 1"},
        {lb("\"PseudoAtoms\": []}\n}"), "trailing characters at line 2 column 1"},
        {lb(R"("PseudoAtoms": []})") + '\0', "trailing characters at line 1 column 55"},
        {lb("\"PseudoAtoms\": [],\n}"), "trailing comma at line 2 column 1"},
        {lb(R"("CutOffVDW": 1e400, "PseudoAtoms": []})"),
         "number too big to be stored in double at line 1 column 50"},
        {nested(127), ""},
        {nested(128), "recursion limit exceeded at line 1 column 168"},
        {nested(100000), "recursion limit exceeded at line 1 column 168"},
    };
    for (const auto& [json, description] : cases) {
        SCOPED_TRACE(json.substr(0, 200));
        const auto ff = load(json);
        EXPECT_EQ(error_of(ff), *description ? message("parsing {}: ") + description : "<success>");
        if (ff) continue;
        EXPECT_EQ(ff.error().file, path);  // and the line the description names
        const std::string at = description, line = at.substr(at.rfind("at line ") + 8);
        EXPECT_EQ(ff.error().line, std::stoull(line));
    }
}

// Each mass read back bit for bit as the nearest double (an underflow keeps its sign).
TEST_F(ForceFieldLoad, NumbersAreCorrectlyRounded) {
    const std::pair<const char*, double> cases[] = {
        {"0.1", 0.1},
        {"9007199254740993", 9007199254740992.0},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"2.4703282292062328e-324", 4.9406564584124654e-324},
        {"1e23", 1e23},
        {"-1.79e-327", -0.0},
    };
    std::string atoms;
    for (const auto& [text, value] : cases)
        atoms += fmt::format(R"({{"name": "{}", "mass": {}, "charge": 0}},)", text, text);
    atoms.pop_back();
    auto ff = load(lb(R"("PseudoAtoms": [)" + atoms + "]}"));
    ASSERT_TRUE(ff) << ff.error().message;
    for (const auto& [text, value] : cases) {
        const double mass = ff->pseudo_atom(text)->mass;
        EXPECT_EQ(std::memcmp(&mass, &value, sizeof(double)), 0) << text << " read as " << mass;
    }
}

TEST_F(ForceFieldLoad, ConsistencyChecksInOrder) {
    const std::pair<std::string, const char*> cases[] = {
        // Checked before the self interactions, which are broken too.
        {R"({"MixingRule": "Jorgensen", "PseudoAtoms": [], "SelfInteractions": [{"name": "X", "parameters": []}, {"name": "X", "parameters": []}]})",
         "unsupported MixingRule 'Jorgensen' in {} (only \"Lorentz-Berthelot\" is supported)"},
        // A repeated self entry fails even when no pseudo atom uses the name.
        {lb(R"("PseudoAtoms": [], "SelfInteractions": [{"name": "X", "parameters": []}, {"name": "X", "parameters": []}]})"),
         "duplicate SelfInteractions entry for 'X' in {}"},
        {lb(R"("PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "type": "Mie", "parameters": [1, 2]}]})"),
         "unsupported SelfInteractions type 'Mie' for 'X' (only lennard-jones is supported)"},
        {lb(R"("PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "parameters": [1, 2, 3]}]})"),
         "SelfInteractions for 'X' must have [epsilon_K, sigma_Ang], got [1.0, 2.0, 3.0]"},
        // A self entry that no pseudo atom uses is never checked.
        {lb(R"("PseudoAtoms": [{"name": "X", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "X", "parameters": [1, 2]}, {"name": "Y", "type": "Mie", "parameters": [1, 2, 3]}]})"),
         "<success>"},
        // Entry by entry: the third atom's problem comes before the fifth atom's repeat.
        {lb(R"("PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "B", "mass": 1, "charge": 0}, {"name": "C", "mass": 1, "charge": 0}, {"name": "D", "mass": 1, "charge": 0}, {"name": "A", "mass": 1, "charge": 0}], "SelfInteractions": [{"name": "C", "parameters": [1]}]})"),
         "SelfInteractions for 'C' must have [epsilon_K, sigma_Ang], got [1.0]"},
        {lb(R"("PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "B", "mass": 1, "charge": 0}, {"name": "A", "mass": 1, "charge": 0}]})"),
         "duplicate PseudoAtoms entry for 'A' in {}"},
        // A name that would end a comment in the LAMMPS files, before the repeat after it.
        {lb(R"("PseudoAtoms": [{"name": "A", "mass": 1, "charge": 0}, {"name": "Z\nshell touch PWNED\n#", "mass": 1, "charge": 0}, {"name": "A", "mass": 1, "charge": 0}]})"),
         R"(pseudo-atom name "Z\nshell touch PWNED\n#" in {} contains a control character)"},
        {ab(R"([{"names": ["A", "B", "say \"hi\" \\ \t"], "parameters": [1, 2]}])"),
         R"(BinaryInteractions entry in {} must have exactly two "names", got ["A", "B", "say \"hi\" \\ \t"])"},
        // The type is checked before the names, which are unknown here.
        {ab(R"([{"names": ["P", "Q"], "type": "Morse", "parameters": [1, 2]}])"),
         "unsupported BinaryInteractions type 'Morse' for (P, Q) (only lennard-jones is "
         "supported)"},
        {ab(R"([{"names": ["B", "A"], "parameters": [1]}])"),
         "BinaryInteractions for (B, A) must have [epsilon_K, sigma_Ang], got [1.0]"},
        {ab(R"([{"names": ["P", "Q"], "parameters": [1, 2]}])"),
         "BinaryInteractions references unknown pseudo-atom 'P' in {}"},
        {ab(R"([{"names": ["A", "B"], "parameters": [1, 2]}, {"names": ["B", "A"], "parameters": [1, 2]}])"),
         "duplicate BinaryInteractions entry for (A, B) in {}"},
        {lb(R"("PseudoAtoms": [], "BinaryInteractions": [{"names": ["A", "A"], "parameters": [1, 2]}]})"),
         "BinaryInteractions references unknown pseudo-atom 'A' in {}"},
    };
    for (const auto& [json, text] : cases) {
        SCOPED_TRACE(json);
        const auto ff = load(json);
        EXPECT_EQ(error_of(ff), message(text));
        EXPECT_EQ(ff ? std::nullopt : ff.error().line, std::nullopt);  // no line of the text
    }
}

}  // namespace
}  // namespace boxwright
