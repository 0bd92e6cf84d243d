// JSON binding: reads one JSON document and fills a fixed record shape from it, reporting the first
// problem as one description with its line and column. A record is declared once as a field table;
// one generic binder walks the parser's events against such tables. Shared by the force-field and
// molecule loaders; knows nothing about what their records mean.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "base/io.hpp"
#include "base/utf8.hpp"
#include "ff/unknown_key.hpp"

namespace boxwright::json {

class Sink;
struct RecordKeys;
// On failure: the description of the problem, without its position.
using Status = Result<void>;
using Next = Result<Sink*>;

// A JSON number as written, with its correctly rounded value.
struct Number {
    std::string_view text;
    double value = 0;
    bool integer = false;  // written without a fraction or an exponent
};

// Receives exactly one JSON value. Scalars arrive in one call; a container opens with start_*,
// hands out one sink per member or element, and closes with end_*. Every default rejects the
// value as "invalid type", naming what expected() says the sink wanted.
class Sink {
  public:
    virtual ~Sink() = default;
    virtual std::string expected() const = 0;

    virtual Status null();
    virtual Status boolean(bool value);
    virtual Status number(const Number& value);
    virtual Status string(std::string_view value);
    virtual Status start_object();
    virtual Status start_array();

    // Only called after this sink's start_object succeeded.
    virtual Next key(std::string_view key);
    virtual Status end_object();
    // Only called after this sink's start_array succeeded.
    virtual Next element();
    virtual Status end_array();

    // A record's keys, for telling a key it skips from a misspelt one; null for other sinks.
    virtual const RecordKeys* record_keys() const { return nullptr; }

  protected:
    Status invalid_type(std::string_view found) const;
};

// Accepts and drops any value: the value of a key a record does not know.
Sink& skip_sink();

// Binds the JSON document `text` through `root`. Only whitespace may follow the document.
// On failure: the description followed by " at line L column C" (column counted in bytes), and
// that line apart. Each key that a record skips is added to `unknown_keys`, when given, in the
// order read (the first 100 of a document); keys inside a skipped value are not: only a record
// knows which keys it expects.
Status bind_text(std::string_view text, Sink& root,
                 std::vector<UnknownKey>* unknown_keys = nullptr);

// How to fill a T from one JSON value: makes the sink that writes into the given T.
template <class T>
using Shape = std::function<std::unique_ptr<Sink>(T&)>;

Shape<std::string> a_string();
Shape<std::optional<std::string>> string_or_null();  // null means absent
Shape<double> f64();
Shape<std::uint64_t> usize();  // a non-negative integer index

// --- containers ----------------------------------------------------------------------------

template <class T>
class SequenceSink final : public Sink {
  public:
    SequenceSink(const Shape<T>& element, std::vector<T>& target)
        : element_(element), target_(target) {}
    std::string expected() const override { return "a sequence"; }
    Status start_array() override { return {}; }
    Next element() override {
        child_ = element_(target_.emplace_back());
        return child_.get();
    }
    Status end_array() override { return {}; }

  private:
    const Shape<T>& element_;
    std::vector<T>& target_;
    std::unique_ptr<Sink> child_;
};

// Any number of elements of one shape.
template <class T>
Shape<std::vector<T>> sequence_of(Shape<T> element) {
    return [element = std::move(element)](std::vector<T>& target) {
        return std::make_unique<SequenceSink<T>>(element, target);
    };
}

template <class T, std::size_t N>
class FixedArraySink final : public Sink {
  public:
    FixedArraySink(const Shape<T>& element, const std::string& words, std::array<T, N>& target)
        : element_(element), words_(words), target_(target) {}
    std::string expected() const override { return words_; }
    Status start_array() override { return {}; }
    Next element() override {
        if (filled_ == N) return fail("trailing characters");
        child_ = element_(target_[filled_++]);
        return child_.get();
    }
    Status end_array() override {
        if (filled_ < N) return fail("invalid length {}, expected {}", filled_, words_);
        return {};
    }

  private:
    const Shape<T>& element_;
    const std::string& words_;
    std::array<T, N>& target_;
    std::size_t filled_ = 0;
    std::unique_ptr<Sink> child_;
};

// Exactly N elements of one shape; `words` name the shape in messages ("an array of length 3").
template <class T, std::size_t N>
Shape<std::array<T, N>> fixed_array(Shape<T> element, std::string words) {
    return [element = std::move(element), words = std::move(words)](std::array<T, N>& target) {
        return std::make_unique<FixedArraySink<T, N>>(element, words, target);
    };
}

// --- records -------------------------------------------------------------------------------

template <class Record>
struct Field {
    std::string_view key;
    bool required = false;
    std::function<std::unique_ptr<Sink>(Record&)> sink;  // fills this field of a record
};

// The keys of a record as an object: those it reads, and `quiet` ones that it skips like any
// unknown key but that the format documents as free notes, so they are never reported.
struct RecordKeys {
    std::vector<std::string_view> known;
    std::vector<std::string_view> quiet;
};

template <class Record>
struct RecordTable {
    std::string expected;         // "struct PseudoAtomEntry", or "a tuple of size 2"
    std::string expected_length;  // "struct PseudoAtomEntry with 4 elements" for the array form
    bool object_form = true;      // a tuple is written as an array only
    std::vector<Field<Record>> fields;  // in declaration order (the order of the array form)
    std::size_t array_fields = 0;       // the first fields, which the array form fills
    RecordKeys keys;
};

template <class Record>
class RecordSink final : public Sink {
  public:
    RecordSink(const RecordTable<Record>& table, Record& target) : table_(table), target_(target) {}
    std::string expected() const override { return table_.expected; }

    Status start_object() override {
        if (!table_.object_form) return invalid_type("map");
        seen_.assign(table_.fields.size(), false);
        return {};
    }
    Next key(std::string_view key) override {
        for (std::size_t i = 0; i < table_.fields.size(); ++i) {
            if (table_.fields[i].key != key) continue;
            if (seen_[i]) return fail("duplicate field `{}`", key);
            seen_[i] = true;
            child_ = table_.fields[i].sink(target_);
            return child_.get();
        }
        return &skip_sink();
    }
    const RecordKeys* record_keys() const override { return &table_.keys; }
    Status end_object() override {
        for (std::size_t i = 0; i < table_.fields.size(); ++i) {
            if (table_.fields[i].required && !seen_[i]) {
                return fail("missing field `{}`", table_.fields[i].key);
            }
        }
        return {};
    }

    Status start_array() override { return {}; }
    Next element() override {
        if (filled_ == table_.array_fields) return fail("trailing characters");
        child_ = table_.fields[filled_++].sink(target_);
        return child_.get();
    }
    // Fields after the last element keep their defaults, unless one of them is required.
    Status end_array() override {
        for (std::size_t i = filled_; i < table_.array_fields; ++i) {
            if (table_.fields[i].required) {
                return fail("invalid length {}, expected {}", filled_, table_.expected_length);
            }
        }
        return {};
    }

  private:
    const RecordTable<Record>& table_;
    Record& target_;
    std::vector<bool> seen_;
    std::size_t filled_ = 0;
    std::unique_ptr<Sink> child_;
};

// A record written as an object with these keys, or as an array of the values in field order.
// `keyed_only` are optional fields the package added to a format: read by their key in the object
// form, never filled from the array form, and not counted in its messages. `quiet` keys are
// skipped, whatever their value, and never reported as unknown.
template <class Record>
Shape<Record> record(std::string_view name, std::vector<Field<Record>> fields,
                     std::vector<Field<Record>> keyed_only = {},
                     const std::vector<std::string_view>& quiet = {}) {
    auto table = std::make_shared<RecordTable<Record>>();
    table->expected = fmt::format("struct {}", name);
    table->expected_length = fmt::format("struct {} with {} elements", name, fields.size());
    table->array_fields = fields.size();
    for (auto& field : keyed_only) fields.push_back(std::move(field));
    table->fields = std::move(fields);
    for (const auto& field : table->fields) table->keys.known.push_back(field.key);
    table->keys.quiet = quiet;
    return [table](Record& target) { return std::make_unique<RecordSink<Record>>(*table, target); };
}

// A record written only as an array of its field values in order: "a tuple of size N".
template <class Record>
Shape<Record> tuple(std::vector<Field<Record>> fields) {
    auto table = std::make_shared<RecordTable<Record>>();
    table->expected = fmt::format("a tuple of size {}", fields.size());
    table->expected_length = table->expected;
    table->object_form = false;
    table->array_fields = fields.size();
    table->fields = std::move(fields);
    return [table](Record& target) { return std::make_unique<RecordSink<Record>>(*table, target); };
}

template <class T>
inline constexpr bool is_vector = false;
template <class T>
inline constexpr bool is_vector<std::vector<T>> = true;

// The shape a member's C++ type implies; other members name theirs explicitly.
template <class T>
Shape<T> natural_shape() {
    if constexpr (std::is_same_v<T, std::string>) {
        return a_string();
    } else if constexpr (std::is_same_v<T, std::optional<std::string>>) {
        return string_or_null();
    } else if constexpr (std::is_same_v<T, double>) {
        return f64();
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        return usize();
    } else if constexpr (is_vector<T>) {
        return sequence_of(natural_shape<typename T::value_type>());
    } else {
        static_assert(sizeof(T) == 0, "give this member an explicit shape");
    }
}

template <class Record, class Member>
Field<Record> make_field(std::string_view key, bool is_required, Member Record::*member,
                         Shape<Member> shape) {
    return {key, is_required,
            [member, shape = std::move(shape)](Record& r) { return shape(r.*member); }};
}

// A field that must be given. Without a shape, the member's type decides.
template <class Record, class Member>
Field<Record> required(std::string_view key, Member Record::*member,
                       std::type_identity_t<Shape<Member>> shape = natural_shape<Member>()) {
    return make_field(key, true, member, std::move(shape));
}

// A field that keeps the member's initial value when absent.
template <class Record, class Member>
Field<Record> optional(std::string_view key, Member Record::*member,
                       std::type_identity_t<Shape<Member>> shape = natural_shape<Member>()) {
    return make_field(key, false, member, std::move(shape));
}

// The largest input file read: far beyond any real force field or molecule, and a bound on the
// memory a wrong path (a disk image, a log) can take.
inline constexpr std::uint64_t MAX_INPUT_BYTES = std::uint64_t{256} << 20;

// Reads the file at `path` and binds it with `shape`. Failures read "reading {path}: {why}" or
// "parsing {path}: {why} at line L column C", the path in display form; both are placed in the
// file, the second at its line. The keys its records skip go to `unknown_keys`, when given.
template <class T>
Result<T> load_file(const std::string& path, const Shape<T>& shape,
                    std::vector<UnknownKey>* unknown_keys = nullptr) {
    auto text = read_utf8_file(path, MAX_INPUT_BYTES).map_error(about(path));
    if (!text) return tl::unexpected(in_file(path)(std::move(text).error()));
    T value{};
    auto root = shape(value);
    if (auto bound = bind_text(*text, *root, unknown_keys); !bound) {
        FfError error = std::move(bound).error();
        error.message = fmt::format("parsing {}: {}", lossy_utf8(path), error.message);
        return tl::unexpected(in_file(path)(std::move(error)));
    }
    return value;
}

}  // namespace boxwright::json
