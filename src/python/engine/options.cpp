#include "python/engine/options.hpp"

#include <string_view>

#include "pipeline/option_table.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

std::string_view kind_word(OptionKind kind) {
    switch (kind) {
        case OptionKind::Run:
            return "run";
        case OptionKind::Pair:
            return "pair";
        case OptionKind::Packing:
            return "packing";
        case OptionKind::SplitPacking:
            return "split-packing";
        case OptionKind::Coordinates:
            return "coordinates";
    }
    return "";
}

std::string_view type_word(OptionType type) {
    switch (type) {
        case OptionType::Number:
            return "number";
        case OptionType::OptionalNumber:
            return "optional-number";
        case OptionType::Count:
            return "count";
        case OptionType::OptionalCount:
            return "optional-count";
        case OptionType::OptionalInt:
            return "optional-int";
        case OptionType::OptionalGrid:
            return "optional-grid";
        case OptionType::Choice:
            return "choice";
    }
    return "";
}

PyObject* text(std::string_view value) { return to_str(std::string(value)); }

template <class Range, class Convert>
PyObject* tuple_of(const Range& range, Convert convert);

// (name, kind, type, unit, metavar, default, help, default_words, choices)
PyObject* option_tuple(const OptionSpec& spec) {
    PyObject* items[] = {text(spec.name), text(kind_word(spec.kind)), text(type_word(spec.type)),
                         text(spec.unit), text(spec.metavar),         text(spec.default_value),
                         text(spec.help), text(spec.default_words),   tuple_of(spec.choices, text)};
    PyRef tuple = PyRef::steal(PyTuple_New(std::size(items)));
    bool complete = static_cast<bool>(tuple);
    for (std::size_t i = 0; i < std::size(items); ++i) {
        if (items[i] == nullptr || !tuple) {
            complete = false;
            Py_XDECREF(items[i]);
            continue;
        }
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), items[i]);
    }
    return complete ? tuple.release() : nullptr;
}

template <class Range, class Convert>
PyObject* tuple_of(const Range& range, Convert convert) {
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(range.size())));
    if (!tuple) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& element : range) {
        PyObject* item = convert(element);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), i++, item);
    }
    return tuple.release();
}

PyObject* option_table_entry(PyObject*, PyObject*) {
    return without_cpp_exceptions([] { return tuple_of(option_table(), option_tuple); });
}

PyObject* preset_names_entry(PyObject*, PyObject*) {
    return without_cpp_exceptions([] { return tuple_of(preset_names(), text); });
}

PyMethodDef option_table_def = {
    "option_table", option_table_entry, METH_NOARGS,
    "option_table()\n--\n\nEvery option of the run, the packing and the coordinate file, "
    "declared once: a tuple of (name, kind, type, unit, metavar, default, help, default_words, "
    "choices) per option, kind one of 'run', 'pair', 'packing', 'split-packing', 'coordinates'; "
    "default as Python writes it, '' when required; choices the words of a 'choice', else ()."};
PyMethodDef preset_names_def = {
    "preset_names", preset_names_entry, METH_NOARGS,
    "preset_names()\n--\n\nThe pair-style presets' names, 'auto' first."};

}  // namespace

PyMethodDef* option_table_method() { return &option_table_def; }
PyMethodDef* preset_names_method() { return &preset_names_def; }

}  // namespace boxwright::python
