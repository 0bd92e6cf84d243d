#include "ff/json_binding.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>

namespace boxwright::json {
namespace {

struct Item {
    std::string name;
    double weight = 7;
    std::optional<std::string> note;
};

struct Doc {
    std::uint64_t index = 0;
    std::vector<double> values;
    std::vector<Item> items;
    std::array<double, 3> xyz{};
    std::optional<std::string> label;
};

const Shape<Doc>& doc_shape() {
    static const auto shape = record<Doc>(
        "Doc",
        {
            optional("index", &Doc::index),
            optional("values", &Doc::values),
            optional("items", &Doc::items,
                     sequence_of(record<Item>("Item",
                                              {
                                                  required("name", &Item::name),
                                                  optional("weight", &Item::weight),
                                                  required("note", &Item::note),
                                              }))),
            optional("xyz", &Doc::xyz, fixed_array<double, 3>(f64(), "an array of length 3")),
            optional("label", &Doc::label),
        });
    return shape;
}

std::string bind_error(std::string_view text) {
    Doc doc;
    auto root = doc_shape()(doc);
    auto bound = bind_text(text, *root);
    return bound ? "<success>" : bound.error();
}

Doc bind_ok(std::string_view text) {
    Doc doc;
    auto root = doc_shape()(doc);
    auto bound = bind_text(text, *root);
    EXPECT_TRUE(bound) << bound.error();
    return doc;
}

struct Case {
    const char* name;
    std::string text;
    const char* error;
};

void expect_errors(std::initializer_list<Case> cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bind_error(c.text), c.error);
    }
}

TEST(JsonBinding, RecordProblemsPointAtTheOffendingToken) {
    expect_errors({
        {"wrong kind", R"({"label": 5})",
         "invalid type: integer `5`, expected a string at line 1 column 11"},
        {"missing field", "{\"items\": [\n  {\"note\": null}\n]}",
         "missing field `name` at line 2 column 16"},
        {"duplicate field", R"({"label": "a", "label": "b"})",
         "duplicate field `label` at line 1 column 22"},
        {"duplicate unknown keys are fine", R"({"x": 1, "x": 2})", "<success>"},
        {"short fixed array", R"({"xyz": [1, 2]})",
         "invalid length 2, expected an array of length 3 at line 1 column 14"},
        {"long fixed array", R"({"xyz": [1, 2, 3, 4]})", "trailing characters at line 1 column 19"},
        {"record as number", R"({"items": [3]})",
         "invalid type: integer `3`, expected struct Item at line 1 column 12"},
        {"short record array", R"({"items": [["a"]]})",
         "invalid length 1, expected struct Item with 3 elements at line 1 column 16"},
        {"long record array", R"({"items": [["a", 1, null, 9]]})",
         "trailing characters at line 1 column 27"},
        {"null for a number", R"({"items": [{"name": "a", "weight": null, "note": null}]})",
         "invalid type: null, expected f64 at line 1 column 39"},
        {"null for a sequence", R"({"values": null})",
         "invalid type: null, expected a sequence at line 1 column 15"},
        {"map for a sequence", R"({"values": {}})",
         "invalid type: map, expected a sequence at line 1 column 12"},
        {"sequence for a record", R"([[]])",
         "invalid type: sequence, expected usize at line 1 column 2"},
        {"string with escapes", R"({"values": ["a\"b"]})",
         R"(invalid type: string "a\"b", expected f64 at line 1 column 18)"},
        {"boolean", R"({"label": true})",
         "invalid type: boolean `true`, expected a string at line 1 column 14"},
        {"document of the wrong kind", "\n  12",
         "invalid type: integer `12`, expected struct Doc at line 2 column 4"},
    });
}

TEST(JsonBinding, IndicesAreNonNegativeIntegers) {
    expect_errors({
        {"negative", R"({"index": -1})",
         "invalid value: integer `-1`, expected usize at line 1 column 12"},
        {"fraction", R"({"index": 1.0})",
         "invalid type: floating point `1.0`, expected usize at line 1 column 13"},
        {"exponent", R"({"index": 1e2})",
         "invalid type: floating point `1e2`, expected usize at line 1 column 13"},
        {"beyond 64 bits", R"({"index": 18446744073709551616})",
         "invalid value: integer `18446744073709551616`, expected usize at line 1 column 30"},
    });
    EXPECT_EQ(bind_ok(R"({"index": 18446744073709551615})").index, 18446744073709551615u);
}

TEST(JsonBinding, SyntaxErrorsCarryTheReadersWordsAndOurs) {
    expect_errors({
        {"empty", "", "the document is empty at line 1 column 1"},
        {"only whitespace", " \n ", "the document is empty at line 2 column 2"},
        {"unclosed array", R"({"values": [1, 2)",
         "missing a comma or ']' after an array element at line 1 column 17"},
        {"trailing comma in array", R"({"values": [1, 2,]})", "trailing comma at line 1 column 18"},
        {"trailing comma in object", "{\"label\": \"a\",\n}", "trailing comma at line 2 column 1"},
        {"text after the document", "{} x", "trailing characters at line 1 column 4"},
        {"second document", "{}\n{}", "trailing characters at line 2 column 1"},
        {"NUL after the document", std::string("{}\0", 3),
         "trailing characters at line 1 column 3"},
        {"byte-order mark", "\xEF\xBB\xBF{}", "invalid value at line 1 column 1"},
        {"lone surrogate", R"({"label": "\ud800"})",
         "the surrogate pair in string is invalid at line 1 column 12"},
        {"bad number", R"({"values": [1.]})", "miss fraction part in number at line 1 column 15"},
        {"skipped values are still checked", R"({"other": [tru]})",
         "invalid value at line 1 column 15"},
    });
}

TEST(JsonBinding, NumbersBeyondTheDoubleRangeAreRefusedNotInfinite) {
    expect_errors({
        {"1e400", R"({"values": [1e400]})",
         "number too big to be stored in double at line 1 column 13"},
        {"just above the largest double", R"({"values": [1.8e308]})",
         "number too big to be stored in double at line 1 column 13"},
        {"negative", R"({"values": [-1e999]})",
         "number too big to be stored in double at line 1 column 13"},
        {"in a skipped value", R"({"other": 2e308})",
         "number too big to be stored in double at line 1 column 11"},
    });
    auto doc = bind_ok(R"({"values": [1e-400, -1.79e-327, 4.9e-324]})");
    ASSERT_EQ(doc.values.size(), 3u);
    EXPECT_EQ(doc.values[0], 0.0);
    EXPECT_EQ(doc.values[1], 0.0);
    EXPECT_TRUE(std::signbit(doc.values[1]));
    EXPECT_EQ(doc.values[2], 4.9406564584124654e-324);
}

TEST(JsonBinding, NumbersAreCorrectlyRounded) {
    const char* texts[] = {
        "0.1",
        "1.7976931348623157e308",
        "2.2250738585072011e-308",
        "9007199254740993",
        "18446744073709551616",
        "123456789012345678901234567890",
        "-0",
        "0.30000000000000004",
        "2.4703282292062328e-324",
        "7.2057594037927933e16",
        "1e23",
        "-4.35e-7",
    };
    std::string text = "{\"values\": [";
    for (std::size_t i = 0; i < std::size(texts); ++i)
        text += (i ? ", " : "") + std::string(texts[i]);
    auto doc = bind_ok(text + "]}");
    ASSERT_EQ(doc.values.size(), std::size(texts));
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(texts[i]);
        double expected = 0;
        std::from_chars(texts[i], texts[i] + std::strlen(texts[i]), expected);
        EXPECT_EQ(std::memcmp(&expected, &doc.values[i], sizeof(double)), 0) << doc.values[i];
    }
}

TEST(JsonBinding, NestingDeeperThan127IsRefusedWithoutCrashing) {
    // The record's own object is the first level.
    auto nested = [](std::size_t levels, bool closed) {
        return "{\"other\": " + std::string(levels - 1, '[') +
               (closed ? std::string(levels - 1, ']') + "}" : "");
    };
    EXPECT_EQ(bind_error(nested(127, true)), "<success>");
    EXPECT_EQ(bind_error(nested(128, true)), "recursion limit exceeded at line 1 column 137");
    EXPECT_EQ(bind_error(nested(100000, true)), "recursion limit exceeded at line 1 column 137");
    EXPECT_EQ(bind_error(std::string(100000, '[')),
              "invalid type: sequence, expected usize at line 1 column 2");
}

TEST(JsonBinding, ArrayFormFillsFieldsInOrderAndDefaultsTheRest) {
    auto doc = bind_ok(R"([3, [1.5]])");
    EXPECT_EQ(doc.index, 3u);
    EXPECT_EQ(doc.values, std::vector<double>{1.5});
    EXPECT_EQ(bind_error(R"([3, [1.5], [["a"]]])"),
              "invalid length 1, expected struct Item with 3 elements at line 1 column 17");
    doc = bind_ok(R"([3, [1.5], [["a", 2, "n"]], [1, 2, 3], null])");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].weight, 2);
    EXPECT_EQ(doc.items[0].note, "n");
    EXPECT_EQ((doc.xyz), (std::array<double, 3>{1, 2, 3}));
    EXPECT_FALSE(doc.label);
    EXPECT_EQ(bind_error("[0, [], [], [1, 2, 3], null, 6]"),
              "trailing characters at line 1 column 30");
}

TEST(JsonBinding, UnknownKeysAreSkippedAndNullMeansAbsent) {
    auto doc = bind_ok(R"({"comment": {"deep": [1, {"x": null}]}, "label": null,
                           "items": [{"name": "a", "note": null, "extra": [true]}]})");
    EXPECT_FALSE(doc.label);
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].name, "a");
    EXPECT_EQ(doc.items[0].weight, 7);
    EXPECT_FALSE(doc.items[0].note);
}

}  // namespace
}  // namespace boxwright::json
