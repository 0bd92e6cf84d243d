#include "python/engine/coords_file.hpp"

#include "pipeline/coords_build.hpp"
#include "python/conversions.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

constexpr char DOC[] =
    "build_from_coords_file(species, counts, coords_path, box_len, pair_style, explicit_lb, "
    "force_field, out_dir, check_names)\n"
    "--\n"
    "\n"
    "Write data.lmp and forcefield.lmp for the positions in a coordinate file (.xyz, .extxyz,\n"
    ".pdb, .data or .lmp); return the build summary. box_len may be None when the file states a\n"
    "cubic box; pair_style is a preset's code (0 Tip4p, 1 LjCut, 2 LjCutCoulLong) or None.";

// The package passes a preset as its code, so this module needs no class of its own.
bool to_pair_code(PyObject* value, std::optional<PairSetup>& setup) {
    if (Py_IsNone(value)) {
        setup.reset();
        return true;
    }
    const long code = PyLong_Check(value) ? PyLong_AsLong(value) : -1;
    if (code < 0 || code > 2) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "must be 0, 1, 2 or None");
        return false;
    }
    setup = static_cast<PairSetup>(code);
    return true;
}

bool to_optional_number(PyObject* value, std::optional<double>& number) {
    if (Py_IsNone(value)) {
        number.reset();
        return true;
    }
    double converted = 0;
    if (!to_number(value, converted)) return false;
    number = converted;
    return true;
}

char* keywords[] = {keyword("species"),     keyword("counts"),
                    keyword("coords_path"), keyword("box_len"),
                    keyword("pair_style"),  keyword("explicit_lb"),
                    keyword("force_field"), keyword("out_dir"),
                    keyword("check_names"), nullptr};

PyObject* build(PyObject* args, PyObject* kwargs) {
    PyObject *species, *counts, *path, *box_len, *pair_style, *explicit_lb, *force_field, *out_dir,
        *check_names;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOOOOOOO:build_from_coords_file", keywords,
                                     &species, &counts, &path, &box_len, &pair_style, &explicit_lb,
                                     &force_field, &out_dir, &check_names)) {
        return nullptr;
    }
    CoordsArgs request;
    CoordsFile file;
    const bool converted =
        convert_argument(species, "species", to_path_list, request.species) &&
        convert_argument(counts, "counts", to_count_list, request.counts) &&
        convert_argument(path, "coords_path", to_path, file.path) &&
        convert_argument(box_len, "box_len", to_optional_number, file.box_length) &&
        convert_argument(pair_style, "pair_style", to_pair_code, request.pair_setup) &&
        convert_argument(explicit_lb, "explicit_lb", to_flag, request.explicit_lb) &&
        convert_argument(force_field, "force_field", to_path, request.force_field) &&
        convert_argument(out_dir, "out_dir", to_path, request.out_dir) &&
        convert_argument(check_names, "check_names", to_flag, file.check_names);
    if (!converted) return nullptr;
    if (file.box_length && !check_box_length(*file.box_length)) return nullptr;
    return summary_or_raise(run_from_coords_file(request, file));
}

PyObject* build_from_coords_file(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return build(args, kwargs); });
}

PyMethodDef definition = {"build_from_coords_file", as_method(build_from_coords_file),
                          METH_VARARGS | METH_KEYWORDS, DOC};

}  // namespace

PyMethodDef* build_from_coords_file_method() { return &definition; }

}  // namespace boxwright::python
