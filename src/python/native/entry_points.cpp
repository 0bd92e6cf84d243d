#include "python/native/entry_points.hpp"

#include <optional>
#include <string>

#include "pipeline/build.hpp"
#include "python/build_watch.hpp"
#include "python/conversions.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

// The first three lines are the text signature that inspect.signature() reads.
constexpr char PACK_PACKMOL_DOC[] =
    "pack_packmol_py(species, counts, density, pair_style=..., explicit_lb=False, "
    "force_field=..., out_dir=..., tolerance=2.0)\n"
    "--\n"
    "\n"
    "Pack with Packmol and write LAMMPS files.\n"
    "\n"
    "Called by ``boxwright.pack.packmol()``.";

constexpr char PACK_FROM_COORDS_DOC[] =
    "pack_from_coords_py(species, counts, coords, box_len, pair_style=..., explicit_lb=False, "
    "force_field=..., out_dir=...)\n"
    "--\n"
    "\n"
    "Write LAMMPS files from **pre-computed** coordinates (used by the raspa path).\n"
    "\n"
    "Called by ``boxwright.pack.raspa()`` after\n"
    "``boxwright.raspa_init.pack_with_raspa3()`` returns the equilibrated\n"
    "geometry.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "species : list[str]\n"
    "    Molecule JSON paths, one per species.\n"
    "counts : list[int]\n"
    "    Number of molecules per species (same order as *species*).\n"
    "coords : list[list[float]]\n"
    "    Atom positions as ``[[x, y, z], ...]`` in species \u2192 molecule \u2192 atom\n"
    "    order.  Length must equal the total atom count.\n"
    "box_len : float\n"
    "    Cubic box edge length, \u00c5.\n"
    "pair_style : PyPairSetup | None\n"
    "    Pair-style preset for ``forcefield.lmp``.\n"
    "explicit_lb : bool\n"
    "    Write all Lorentz-Berthelot cross-pairs explicitly.\n"
    "force_field : str\n"
    "    Path to ``force_field.json``.\n"
    "out_dir : str\n"
    "    Output directory for ``data.lmp`` and ``forcefield.lmp``.";

// Defaults of the parameters a caller may omit (pair_style omitted means LjCut; None means none).
constexpr PairSetup DEFAULT_PAIR_SETUP = PairSetup::LjCut;
constexpr char DEFAULT_FORCE_FIELD[] = "force_field.json";
constexpr char DEFAULT_OUT_DIR[] = ".";
constexpr double DEFAULT_TOLERANCE = 2.0;

char* pack_packmol_keywords[] = {
    keyword("species"),    keyword("counts"),      keyword("density"),
    keyword("pair_style"), keyword("explicit_lb"), keyword("force_field"),
    keyword("out_dir"),    keyword("tolerance"),   nullptr,
};

char* pack_from_coords_keywords[] = {
    keyword("species"),     keyword("counts"),     keyword("coords"),
    keyword("box_len"),     keyword("pair_style"), keyword("explicit_lb"),
    keyword("force_field"), keyword("out_dir"),    nullptr,
};

// The specified defaults of the parameters both functions share.
BuildRequest default_request() {
    return BuildRequest{.species = {},
                        .counts = {},
                        .force_field = DEFAULT_FORCE_FIELD,
                        .out_dir = DEFAULT_OUT_DIR,
                        .placement = {},
                        .pair_setup = DEFAULT_PAIR_SETUP};
}

// The build on the calling thread, the interpreter lock held throughout; Ctrl-C stops Packmol.
PyObject* build_and_summarise(const BuildRequest& request) {
    PythonWatch watch;
    auto built = run_build(request, watch.watch());
    if (watch.raised()) return nullptr;  // with the handler's exception set
    return built ? to_str(built->summary_text()) : raise_failure(built.error());
}

PyObject* pack_packmol(PyObject* args, PyObject* kwargs) {
    PyObject *species = nullptr, *counts = nullptr, *density = nullptr, *pair_style = nullptr,
             *explicit_lb = nullptr, *force_field = nullptr, *out_dir = nullptr,
             *tolerance = nullptr;
    if (!PyArg_ParseTupleAndKeywords(
            args, kwargs, "OOO|OOOOO:pack_packmol_py", pack_packmol_keywords, &species, &counts,
            &density, &pair_style, &explicit_lb, &force_field, &out_dir, &tolerance)) {
        return nullptr;
    }
    BuildRequest request = default_request();
    PackmolPlacement packing{.density = 0, .tolerance = DEFAULT_TOLERANCE};
    const bool converted =
        convert_argument(species, "species", to_path_list, request.species) &&
        convert_argument(counts, "counts", to_count_list, request.counts) &&
        convert_argument(density, "density", to_number, packing.density) &&
        convert_argument(pair_style, "pair_style", to_pair_setup, request.pair_setup) &&
        convert_argument(explicit_lb, "explicit_lb", to_flag, request.explicit_lb) &&
        convert_argument(force_field, "force_field", to_path, request.force_field) &&
        convert_argument(out_dir, "out_dir", to_path, request.out_dir) &&
        convert_argument(tolerance, "tolerance", to_number, packing.tolerance);
    if (!converted) return nullptr;
    request.placement = packing;
    return build_and_summarise(request);
}

PyObject* pack_from_coords(PyObject* args, PyObject* kwargs) {
    PyObject *species = nullptr, *counts = nullptr, *coords = nullptr, *box_len = nullptr,
             *pair_style = nullptr, *explicit_lb = nullptr, *force_field = nullptr,
             *out_dir = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|OOOO:pack_from_coords_py",
                                     pack_from_coords_keywords, &species, &counts, &coords,
                                     &box_len, &pair_style, &explicit_lb, &force_field, &out_dir)) {
        return nullptr;
    }
    BuildRequest request = default_request();
    CoordinateRows rows;
    double box_length = 0;
    // box_len is the one later argument whose conversion may run the caller's code (__float__),
    // which could write into a buffer the positions are read from in place; they must stay as
    // they were when coords was converted.
    auto keep_positions_as_given = [&] {
        if (!PyFloat_CheckExact(box_len) && !PyLong_CheckExact(box_len)) rows.take_private_copy();
        return true;
    };
    const bool converted =
        convert_argument(species, "species", to_path_list, request.species) &&
        convert_argument(counts, "counts", to_count_list, request.counts) &&
        convert_argument(coords, "coords", to_coordinate_rows, rows) && keep_positions_as_given() &&
        convert_argument(box_len, "box_len", to_number, box_length) &&
        convert_argument(pair_style, "pair_style", to_pair_setup, request.pair_setup) &&
        convert_argument(explicit_lb, "explicit_lb", to_flag, request.explicit_lb) &&
        convert_argument(force_field, "force_field", to_path, request.force_field) &&
        convert_argument(out_dir, "out_dir", to_path, request.out_dir);
    if (!converted) return nullptr;
    // The positions and the box are checked before any file is opened.
    if (!check_given_coordinates(rows, box_length)) return nullptr;
    request.placement = GivenPositions{rows.positions(), box_length};
    return build_and_summarise(request);
}

PyObject* pack_packmol_py(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return pack_packmol(args, kwargs); });
}

PyObject* pack_from_coords_py(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return pack_from_coords(args, kwargs); });
}

PyMethodDef pack_packmol_def = {"pack_packmol_py", as_method(pack_packmol_py),
                                METH_VARARGS | METH_KEYWORDS, PACK_PACKMOL_DOC};
PyMethodDef pack_from_coords_def = {"pack_from_coords_py", as_method(pack_from_coords_py),
                                    METH_VARARGS | METH_KEYWORDS, PACK_FROM_COORDS_DOC};

}  // namespace

PyMethodDef* pack_packmol_method() { return &pack_packmol_def; }
PyMethodDef* pack_from_coords_method() { return &pack_from_coords_def; }

}  // namespace boxwright::python
