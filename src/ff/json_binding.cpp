#include "ff/json_binding.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "base/closest_name.hpp"
#include "base/decimal.hpp"
#include "base/invariant.hpp"
#include "base/quoted.hpp"
#include "base/utf8.hpp"

namespace boxwright::json {
namespace {

// Iterative parsing keeps hostile nesting off the call stack. Numbers arrive as their text because
// this reader's own conversion is wrong near the ends of the double range (1.8e308 gives NaN,
// -1.79e-327 a huge positive number); std::from_chars converts them correctly rounded instead.
constexpr unsigned PARSE_FLAGS =
    rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag |
    rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;

constexpr std::size_t MAX_NESTING = 127;
// Far more than a person leaves in a file by hand.
constexpr std::size_t MAX_UNKNOWN_KEYS = 100;

// A value too small for a double is correctly rounded to zero; one too large for it cannot be
// stored, so it is no value.
std::optional<double> number_value(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    auto magnitude = unsigned_decimal_value(negative ? text.substr(1) : text);
    if (!magnitude || std::isinf(*magnitude)) return std::nullopt;
    return negative ? -*magnitude : *magnitude;
}

std::string found_number(const Number& value) {
    if (value.integer) return fmt::format("integer `{}`", value.text);
    return fmt::format("floating point `{}`", value.text);
}

// The reader's own description of a pure syntax error, as a lower-case phrase like ours.
std::string reader_description(rapidjson::ParseErrorCode code) {
    std::string text = rapidjson::GetParseError_En(code);
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (!text.empty())
        text.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
    return text;
}

// The reader reports "[1,]" and "{"a": 1,}" as a missing value or name at the closing bracket.
bool is_trailing_comma(std::string_view text, std::size_t offset) {
    if (offset >= text.size() || (text[offset] != ']' && text[offset] != '}')) return false;
    auto before = text.substr(0, offset).find_last_not_of(" \t\n\r");
    return before != std::string_view::npos && text[before] == ',';
}

std::string syntax_description(rapidjson::ParseErrorCode code, std::string_view text,
                               std::size_t offset) {
    switch (code) {
        case rapidjson::kParseErrorDocumentRootNotSingular:
            return "trailing characters";
        case rapidjson::kParseErrorObjectMissName:
        case rapidjson::kParseErrorValueInvalid:
            if (is_trailing_comma(text, offset)) return "trailing comma";
            return reader_description(code);
        default:
            return reader_description(code);
    }
}

// The problem `description` at the byte at `offset`, as "{description} at line L column C": lines
// count from 1, columns in bytes from 1. The line is kept apart as well.
tl::unexpected<FfError> fail_at_offset(std::string_view description, std::string_view text,
                                       std::size_t offset) {
    auto before = text.substr(0, std::min(offset, text.size()));
    auto line = static_cast<std::uint64_t>(1 + std::count(before.begin(), before.end(), '\n'));
    auto newline = before.rfind('\n');
    auto line_start = newline == std::string_view::npos ? 0 : newline + 1;
    FfError error{
        fmt::format("{} at line {} column {}", description, line, before.size() - line_start + 1)};
    error.line = line;
    return tl::unexpected(std::move(error));
}

// Receives the reader's events and routes each value to the sink that binds it: the root sink,
// the sink a record hands out for a key, or the one a container hands out for its next element.
class EventRouter {
  public:
    using Ch = char;

    EventRouter(std::string_view text, const rapidjson::MemoryStream& stream, Sink& root,
                std::vector<UnknownKey>* unknown_keys)
        : text_(text), stream_(stream), root_(root), unknown_keys_(unknown_keys) {}

    bool Null() {
        return scalar([](Sink& s) { return s.null(); });
    }
    bool Bool(bool value) {
        return scalar([value](Sink& s) { return s.boolean(value); });
    }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        std::string_view written(text, length);
        auto value = number_value(written);
        if (!value) {
            return stop("number too big to be stored in double", stream_.Tell() - length);
        }
        Number number{written, *value, written.find_first_of(".eE") == std::string_view::npos};
        return scalar([&number](Sink& s) { return s.number(number); });
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        std::string_view value(text, length);
        if (!is_valid_utf8(value)) return lone_surrogate();
        return scalar([value](Sink& s) { return s.string(value); });
    }
    bool StartObject() {
        return open([](Sink& s) { return s.start_object(); });
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (!is_valid_utf8(std::string_view(text, length))) return lone_surrogate();
        const std::string_view key(text, length);
        auto sink = open_.back()->key(key);
        if (!sink) return stop(std::move(sink.error().message), last_consumed());
        member_value_ = *sink;
        if (unknown_keys_ != nullptr) {
            // A skipped value needs no name: nothing inside it is reported.
            if (*sink == &skip_sink()) {
                keep_if_unknown(key);
            } else {
                member_key_.assign(key);
            }
        }
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        return close([](Sink& s) { return s.end_object(); });
    }
    bool StartArray() {
        return open([](Sink& s) { return s.start_array(); });
    }
    bool EndArray(rapidjson::SizeType) {
        return close([](Sink& s) { return s.end_array(); });
    }

    // Numbers always arrive as text (kParseNumbersAsStringsFlag).
    static constexpr const char* NUMBERS_AS_TEXT = "numbers arrive as their text";
    bool Int(int) { unreachable(NUMBERS_AS_TEXT); }
    bool Uint(unsigned) { unreachable(NUMBERS_AS_TEXT); }
    bool Int64(std::int64_t) { unreachable(NUMBERS_AS_TEXT); }
    bool Uint64(std::uint64_t) { unreachable(NUMBERS_AS_TEXT); }
    bool Double(double) { unreachable(NUMBERS_AS_TEXT); }

    // The binding problem that stopped the reader, if any: its description and the offset of the
    // byte it points at (the last byte of the offending token).
    const std::optional<std::pair<std::string, std::size_t>>& stopped() const { return stopped_; }

  private:
    // A scalar has been read in full; a bracket is reported before the reader consumes it.
    std::size_t last_consumed() const { return stream_.Tell() - 1; }
    std::size_t bracket() const { return stream_.Tell(); }

    bool stop(std::string description, std::size_t offset) {
        stopped_.emplace(std::move(description), offset);
        return false;
    }

    // The reader turns an escaped low surrogate without its high half ("\udc00") into bytes that
    // are not UTF-8 instead of rejecting it as it does the high half alone; such text must never
    // become a name or part of a message.
    bool lone_surrogate() {
        return stop(reader_description(rapidjson::kParseErrorStringUnicodeSurrogateInvalid),
                    last_consumed());
    }

    // The sink for the value that starts now.
    Next next_sink() {
        if (open_.empty()) return &root_;
        if (member_value_ != nullptr) return std::exchange(member_value_, nullptr);
        ++elements_.back();
        return open_.back()->element();
    }

    // Where a container that opens now stands, once next_sink has handed it out: "" for the
    // document, "PseudoAtoms" for a member of it, "PseudoAtoms[2]" for an element of that
    // (elements counted from 0). A skipped value has none: nothing inside it is reported, and its
    // keys, however long, are never copied.
    std::string label_of(const Sink* opened, bool is_member) const {
        if (open_.empty() || opened == &skip_sink()) return {};
        if (is_member) {
            return labels_.back().empty() ? member_key_ : labels_.back() + "." + member_key_;
        }
        return fmt::format("{}[{}]", labels_.back(), elements_.back() - 1);
    }

    // A key of the innermost record that the record does not read, nor documents as a note. A
    // file keeps at most MAX_UNKNOWN_KEYS of them, so a hostile one cannot fill the memory.
    void keep_if_unknown(std::string_view key) {
        const RecordKeys* keys = open_.back()->record_keys();
        if (keys == nullptr || unknown_keys_->size() == MAX_UNKNOWN_KEYS) return;
        auto listed = [key](const std::vector<std::string_view>& keys_of) {
            return std::find(keys_of.begin(), keys_of.end(), key) != keys_of.end();
        };
        if (listed(keys->known) || listed(keys->quiet)) return;
        const auto suggestion = closest_name(key, keys->known);
        unknown_keys_->push_back(
            {std::string(key), labels_.back().empty() ? "top level" : labels_.back(),
             line_at(last_consumed()),
             suggestion ? std::optional<std::string>(*suggestion) : std::nullopt});
    }

    // The line of the byte at `offset`, counted on from the last line asked for: offsets only grow,
    // so a file of many keys is read once.
    std::size_t line_at(std::size_t offset) {
        const auto end = text_.begin() + static_cast<std::ptrdiff_t>(offset);
        lines_before_ += static_cast<std::size_t>(std::count(counted_to_, end, '\n'));
        counted_to_ = end;
        return lines_before_ + 1;
    }

    template <class Deliver>
    bool scalar(Deliver deliver) {
        auto sink = next_sink();
        if (!sink) return stop(std::move(sink.error().message), last_consumed());
        auto status = deliver(**sink);
        if (!status) return stop(std::move(status.error().message), last_consumed());
        return true;
    }

    template <class Deliver>
    bool open(Deliver deliver) {
        const bool is_member = member_value_ != nullptr;
        auto sink = next_sink();
        if (!sink) return stop(std::move(sink.error().message), bracket());
        if (open_.size() == MAX_NESTING) return stop("recursion limit exceeded", bracket());
        auto status = deliver(**sink);
        if (!status) return stop(std::move(status.error().message), bracket());
        labels_.push_back(unknown_keys_ != nullptr ? label_of(*sink, is_member) : std::string());
        open_.push_back(*sink);
        elements_.push_back(0);
        return true;
    }

    template <class Deliver>
    bool close(Deliver deliver) {
        auto status = deliver(*open_.back());
        if (!status) return stop(std::move(status.error().message), bracket());
        open_.pop_back();
        labels_.pop_back();
        elements_.pop_back();
        return true;
    }

    std::string_view text_;
    const rapidjson::MemoryStream& stream_;
    Sink& root_;
    std::vector<UnknownKey>* unknown_keys_;  // null: nobody asked
    std::vector<Sink*> open_;                // the containers being read, innermost last
    std::vector<std::string> labels_;        // where each stands (label_of), when asked
    std::vector<std::size_t> elements_;      // of each, the elements started so far
    Sink* member_value_ = nullptr;           // the sink for the value after the last key
    std::string member_key_;                 // the last key whose value is read
    std::string_view::const_iterator counted_to_ = text_.begin();
    std::size_t lines_before_ = 0;  // line feeds before counted_to_
    std::optional<std::pair<std::string, std::size_t>> stopped_;
};

class SkipSink final : public Sink {
  public:
    std::string expected() const override { return "any value"; }
    Status null() override { return {}; }
    Status boolean(bool) override { return {}; }
    Status number(const Number&) override { return {}; }
    Status string(std::string_view) override { return {}; }
    Status start_object() override { return {}; }
    Status start_array() override { return {}; }
    Next key(std::string_view) override { return this; }
    Status end_object() override { return {}; }
    Next element() override { return this; }
    Status end_array() override { return {}; }
};

class StringSink final : public Sink {
  public:
    explicit StringSink(std::string& target) : target_(target) {}
    std::string expected() const override { return "a string"; }
    Status string(std::string_view value) override {
        target_.assign(value);
        return {};
    }

  private:
    std::string& target_;
};

class StringOrNullSink final : public Sink {
  public:
    explicit StringOrNullSink(std::optional<std::string>& target) : target_(target) {}
    std::string expected() const override { return "a string"; }
    Status null() override {
        target_.reset();
        return {};
    }
    Status string(std::string_view value) override {
        target_.emplace(value);
        return {};
    }

  private:
    std::optional<std::string>& target_;
};

class F64Sink final : public Sink {
  public:
    explicit F64Sink(double& target) : target_(target) {}
    std::string expected() const override { return "f64"; }
    Status number(const Number& value) override {
        target_ = value.value;
        return {};
    }

  private:
    double& target_;
};

class UsizeSink final : public Sink {
  public:
    explicit UsizeSink(std::uint64_t& target) : target_(target) {}
    std::string expected() const override { return "usize"; }
    Status number(const Number& value) override {
        if (!value.integer) return invalid_type(found_number(value));
        const char* end = value.text.data() + value.text.size();
        auto [ptr, ec] = std::from_chars(value.text.data(), end, target_);
        // A minus sign stops from_chars at once; digits beyond 64 bits overflow.
        if (ec != std::errc() || ptr != end) {
            return fail("invalid value: {}, expected usize", found_number(value));
        }
        return {};
    }

  private:
    std::uint64_t& target_;
};

}  // namespace

Status Sink::invalid_type(std::string_view found) const {
    return fail("invalid type: {}, expected {}", found, expected());
}

Status Sink::null() { return invalid_type("null"); }
Status Sink::boolean(bool value) {
    return invalid_type(value ? "boolean `true`" : "boolean `false`");
}
Status Sink::number(const Number& value) { return invalid_type(found_number(value)); }
Status Sink::string(std::string_view value) { return invalid_type("string " + quoted(value)); }
Status Sink::start_object() { return invalid_type("map"); }
Status Sink::start_array() { return invalid_type("sequence"); }
// A sink that refused to open a container never receives its content.
constexpr const char* NEVER_OPENED = "content only for a container the sink opened";
Next Sink::key(std::string_view) { unreachable(NEVER_OPENED); }
Status Sink::end_object() { unreachable(NEVER_OPENED); }
Next Sink::element() { unreachable(NEVER_OPENED); }
Status Sink::end_array() { unreachable(NEVER_OPENED); }

Sink& skip_sink() {
    static SkipSink sink;
    return sink;
}

Status bind_text(std::string_view text, Sink& root, std::vector<UnknownKey>* unknown_keys) {
    rapidjson::MemoryStream stream(text.data(), text.size());
    EventRouter router(text, stream, root, unknown_keys);
    rapidjson::Reader reader;
    reader.Parse<PARSE_FLAGS>(stream, router);
    if (router.stopped()) {
        const auto& [description, offset] = *router.stopped();
        return fail_at_offset(description, text, offset);
    }
    if (reader.HasParseError()) {
        auto offset = reader.GetErrorOffset();
        return fail_at_offset(syntax_description(reader.GetParseErrorCode(), text, offset), text,
                              offset);
    }
    // The reader takes a NUL byte for the end of the text; anything from there on is extra.
    if (stream.Tell() != text.size())
        return fail_at_offset("trailing characters", text, stream.Tell());
    return {};
}

Shape<std::string> a_string() {
    return [](std::string& target) { return std::make_unique<StringSink>(target); };
}

Shape<std::optional<std::string>> string_or_null() {
    return [](std::optional<std::string>& target) {
        return std::make_unique<StringOrNullSink>(target);
    };
}

Shape<double> f64() {
    return [](double& target) { return std::make_unique<F64Sink>(target); };
}

Shape<std::uint64_t> usize() {
    return [](std::uint64_t& target) { return std::make_unique<UsizeSink>(target); };
}

}  // namespace boxwright::json
