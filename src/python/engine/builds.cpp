#include "python/engine/builds.hpp"

#include <fmt/format.h>

#include "pipeline/build.hpp"
#include "pipeline/diagnostics.hpp"
#include "pipeline/settings_check.hpp"
#include "python/build_watch.hpp"
#include "python/conversions.hpp"
#include "python/engine/report_dict.hpp"
#include "python/entry_support.hpp"

namespace boxwright::python {
namespace {

constexpr char BUILD_PACKMOL_DOC[] =
    "build_packmol(species, counts, density, *, pair_style='auto', explicit_lb=False, "
    "force_field='force_field.json', out_dir='.', tolerance=2.0, input_script=True, "
    "temperature=298.15, pressure=1.0, timestep=1.0, steps=100000, pressure_unit='atm', "
    "thermostat_damping=100.0, barostat_damping=1000.0, thermo_every=1000, dump_every=1000, "
    "start_steps=10000, handover_steps=5000, cutoff=None, "
    "coulomb_cutoff=None, kspace_accuracy=None, jobs=None, seed=None, subboxes=None, "
    "timeout=None, progress=None, accept_imperfect=False, strict=False, model_force_fields=None, "
    "mole_fractions=None, molecules=None, option_naming='python')\n"
    "--\n"
    "\n"
    "Pack with Packmol, write data.lmp, forcefield.lmp and in.lmp; return the report as a dict.\n"
    "\n"
    "jobs=None packs the box in one Packmol run; an int splits it into sub-boxes (subboxes=(nx, "
    "ny, nz), or chosen from the system) packed by that many Packmol processes at once (0: one per "
    "core), each seeded from seed. progress(done, total, elapsed, remaining) is called after each "
    "Packmol run; timeout (seconds) stops the packing. A packing that Packmol reports as failed, "
    "or that leaves atoms of different molecules closer than the tolerance, fails the build "
    "unless accept_imperfect is true, which keeps it with a warning.\n"
    "\n"
    "pressure is in pressure_unit ('atm', 'bar', 'kPa', 'MPa' or 'Pa'), which in.lmp keeps. "
    "thermostat_damping and barostat_damping (fs), thermo_every, dump_every (0: no "
    "trajectory), start_steps and handover_steps are in.lmp's index variables of those names.\n"
    "\n"
    "cutoff (Lennard-Jones, in place of the force field's CutOffVDW) and coulomb_cutoff, in "
    "\u00c5, and kspace_accuracy (PPPM's relative error in forces) are given in in.lmp in place "
    "of the preset's; None keeps those. strict=True fails on the build's first warnings and "
    "writes nothing.\n"
    "\n"
    "model_force_fields names the force-field files of the bundled models the species use: their "
    "entries are merged after force_field's (None for the models' alone), and a pseudo atom "
    "both declare must carry the same numbers.\n"
    "\n"
    "counts may be None when mole_fractions (one per species, summing to 1 within 0.01) and "
    "molecules (their total) are given instead: the counts are molecules times the fractions, "
    "scaled to sum to 1 and rounded by largest remainder so that they sum to molecules, and a "
    "note of the report says how.\n"
    "\n"
    "Every setting is checked before any file is read; a failure about one names it as "
    "option_naming says: 'python' (kspace_accuracy) or 'command-line' (--kspace-accuracy).";

constexpr char BUILD_FROM_COORDS_DOC[] =
    "build_from_coords(species, counts, coords, box_len, *, pair_style='auto', explicit_lb=False, "
    "force_field='force_field.json', out_dir='.', input_script=True, temperature=298.15, "
    "pressure=1.0, timestep=1.0, steps=100000, pressure_unit='atm', thermostat_damping=100.0, "
    "barostat_damping=1000.0, thermo_every=1000, dump_every=1000, start_steps=10000, "
    "handover_steps=5000, cutoff=None, coulomb_cutoff=None, "
    "kspace_accuracy=None, check_names=True, check_bonds=True, "
    "bond_check_off='check_bonds=False', strict=False, model_force_fields=None, "
    "mole_fractions=None, molecules=None, option_naming='python', equilibrated=False, frame=None, "
    "run_given=None)\n"
    "--\n"
    "\n"
    "Write data.lmp, forcefield.lmp and in.lmp for given positions; return the report as a dict.\n"
    "\n"
    "coords given as a str is the path of a coordinate file (.xyz, .extxyz, .pdb, .data, .lmp,\n"
    ".dump, .lammpstrj, .gro), read natively after the force field and the species are checked;\n"
    "box_len may then be None for the box the file states, check_names compares the file's atom\n"
    "names (a dump's types) with the species', and frame chooses the frame of a file of several\n"
    "(from 1, or from -1 at the end; None: the last). check_bonds compares every bond's length, "
    "under the minimum image, with the\n"
    "molecule file's (within 25 %) and fails the build on the first that is off, naming\n"
    "bond_check_off as the way to skip it. cutoff, coulomb_cutoff, kspace_accuracy, strict,\n"
    "model_force_fields, mole_fractions, molecules and the run settings as for build_packmol.\n"
    "equilibrated=True says the positions come from an equilibration (run_raspa3, or another\n"
    "program), for in.lmp to start them so. run_given names those of temperature, pressure\n"
    "(with pressure_unit) and timestep the caller gave (None: all of them): a final.data beside\n"
    "an in.lmp of ours takes the others from that in.lmp.";

// The run settings of in.lmp beyond the temperature, pressure, timestep and steps, as given (null
// when omitted).
struct RunKeywords {
    PyObject *pressure_unit = nullptr, *thermostat_damping = nullptr, *barostat_damping = nullptr,
             *thermo_every = nullptr, *dump_every = nullptr, *start_steps = nullptr,
             *handover_steps = nullptr;
};

// The keyword arguments both builds take, as given (null when omitted).
struct PackageKeywords {
    PyObject *pair_style = nullptr, *explicit_lb = nullptr, *force_field = nullptr,
             *out_dir = nullptr, *input_script = nullptr, *temperature = nullptr,
             *pressure = nullptr, *timestep = nullptr, *steps = nullptr, *cutoff = nullptr,
             *coulomb_cutoff = nullptr, *kspace_accuracy = nullptr, *strict = nullptr,
             *model_force_fields = nullptr, *option_naming = nullptr;
    RunKeywords run;
};

// What both builds take beyond their own arguments, with the package's defaults.
struct PackageArguments {
    PairChoice pair_choice;
    bool explicit_lb = false;
    std::string force_field = "force_field.json";  // empty: the bundled models' entries alone
    std::vector<std::string> model_force_fields;
    std::string out_dir = ".";
    bool input_script = true;
    RunSettings run;
    std::string pressure_unit = "atm";
    PairSettings pair;
    bool strict = false;
    OptionNaming option_naming = OptionNaming::Python;

    // The request with these arguments filled in; the species, counts and placement are the
    // caller's to add.
    BuildRequest request() const {
        BuildRequest request;
        request.force_field = force_field;
        request.model_force_fields = model_force_fields;
        request.out_dir = out_dir;
        request.pair_setup = pair_choice.setup;
        request.preset_rule = pair_choice.rule;
        request.explicit_lb = explicit_lb;
        if (input_script) request.input_script = run;
        request.input_script_in_set = true;
        request.escape_paths = true;
        request.wrap_molecules = true;
        request.pair_settings = pair;
        request.full_report = true;
        request.declared_m_site = true;
        request.strict = strict;
        request.suggest_names = true;
        request.option_naming = option_naming;
        return request;
    }
};

// The package's boxwright.BuildError(message, file, line) for a failed build, or ValueError for an
// argument the build refused; returns null. The class is the package's own, in Python, looked up
// when a build fails: this module keeps no state.
// Either way the exception's `option` is the setting at fault (its keyword), or None.
PyObject* raise_build_error(const FfError& failure) {
    PyRef option = PyRef::steal(failure.option ? to_str(*failure.option) : Py_NewRef(Py_None));
    PyRef message = PyRef::steal(to_str(failure.message));
    if (!option || !message) return nullptr;
    if (failure.bad_argument) {
        PyRef error = PyRef::steal(PyObject_CallOneArg(PyExc_ValueError, message.get()));
        if (error && PyObject_SetAttrString(error.get(), "option", option.get()) == 0) {
            PyErr_SetObject(PyExc_ValueError, error.get());
        }
        return nullptr;
    }
    PyRef errors = PyRef::steal(PyImport_ImportModule("boxwright.errors"));
    if (!errors) return nullptr;
    PyRef type = PyRef::steal(PyObject_GetAttrString(errors.get(), "BuildError"));
    if (!type) return nullptr;
    PyRef file = PyRef::steal(failure.file ? to_path_str(*failure.file) : Py_NewRef(Py_None));
    PyRef line = PyRef::steal(failure.line ? PyLong_FromUnsignedLongLong(*failure.line)
                                           : Py_NewRef(Py_None));
    if (!file || !line) return nullptr;
    PyRef error = PyRef::steal(PyObject_CallFunctionObjArgs(type.get(), message.get(), file.get(),
                                                            line.get(), option.get(), nullptr));
    if (error) PyErr_SetObject(type.get(), error.get());
    return nullptr;
}

// None for no force-field file of the user's: the bundled models' entries alone.
bool to_optional_path(PyObject* value, const char* parameter, std::string& path) {
    if (Py_IsNone(value)) {
        path.clear();
        return true;
    }
    return to_path(value, parameter, path);
}

bool to_optional_path_list(PyObject* value, const char* parameter,
                           std::vector<std::string>& paths) {
    return Py_IsNone(value) || to_path_list(value, parameter, paths);
}

// Whose words a failure about a setting uses: "python" (the keyword) or "command-line" (the
// option of the package's command line).
bool to_option_naming(PyObject* value, const char* parameter, OptionNaming& naming) {
    std::string words;
    if (!to_text(value, parameter, words)) return false;
    if (words == "python" || words == "command-line") {
        naming = words == "python" ? OptionNaming::Python : OptionNaming::CommandLine;
        return true;
    }
    PyErr_Format(PyExc_ValueError, "%s must be 'python' or 'command-line', not %R", parameter,
                 value);
    return false;
}

// The run settings beyond the four both builds had first. The pressure's unit is refused by its
// name in the words of option_naming, which is converted before.
bool convert(const RunKeywords& given, PackageArguments& out) {
    RunSettings& run = out.run;
    const bool converted =
        convert_parameter(given.pressure_unit, "pressure_unit", to_text, out.pressure_unit) &&
        convert_parameter(given.thermostat_damping, "thermostat_damping", to_any_number,
                          run.thermostat_damping) &&
        convert_parameter(given.barostat_damping, "barostat_damping", to_any_number,
                          run.barostat_damping) &&
        convert_parameter(given.thermo_every, "thermo_every", to_count, run.thermo_every) &&
        convert_parameter(given.dump_every, "dump_every", to_count, run.dump_every) &&
        convert_parameter(given.start_steps, "start_steps", to_count, run.start_steps) &&
        convert_parameter(given.handover_steps, "handover_steps", to_count, run.handover_steps);
    if (!converted) return false;
    auto unit = pressure_unit_option(out.pressure_unit, out.option_naming);
    if (!unit) {
        raise_build_error(unit.error());
        return false;
    }
    run.pressure_unit = *unit;
    return true;
}

// The package passes paths as str and a preset as its name, code or None: their conversions
// refuse only what the package never passes, with a note naming the parameter.
bool convert(const PackageKeywords& given, PackageArguments& out) {
    return convert_argument(given.pair_style, "pair_style", to_pair_choice, out.pair_choice) &&
           convert_parameter(given.explicit_lb, "explicit_lb", to_bool, out.explicit_lb) &&
           convert_argument(given.force_field, "force_field", to_optional_path, out.force_field) &&
           convert_argument(given.model_force_fields, "model_force_fields", to_optional_path_list,
                            out.model_force_fields) &&
           convert_argument(given.out_dir, "out_dir", to_path, out.out_dir) &&
           convert_parameter(given.input_script, "input_script", to_bool, out.input_script) &&
           convert_parameter(given.temperature, "temperature", to_any_number,
                             out.run.temperature) &&
           convert_parameter(given.pressure, "pressure", to_optional_number, out.run.pressure) &&
           convert_parameter(given.timestep, "timestep", to_any_number, out.run.timestep) &&
           convert_parameter(given.steps, "steps", to_count, out.run.steps) &&
           convert_parameter(given.cutoff, "cutoff", to_optional_number, out.pair.cutoff) &&
           convert_parameter(given.coulomb_cutoff, "coulomb_cutoff", to_optional_number,
                             out.pair.coulomb_cutoff) &&
           convert_parameter(given.kspace_accuracy, "kspace_accuracy", to_optional_number,
                             out.pair.kspace_accuracy) &&
           convert_parameter(given.strict, "strict", to_bool, out.strict) &&
           convert_parameter(given.option_naming, "option_naming", to_option_naming,
                             out.option_naming) &&
           convert(given.run, out);
}

// The packing keywords of build_packmol, as given (null when omitted).
struct PackingKeywords {
    PyObject *jobs = nullptr, *seed = nullptr, *subboxes = nullptr, *timeout = nullptr,
             *progress = nullptr, *accept_imperfect = nullptr;
};

// The decomposition asked for, if jobs is given; the time limit and the callback for the watch.
struct PackingArguments {
    std::optional<std::int64_t> jobs;
    std::optional<std::uint64_t> seed;
    std::optional<GridCells> subboxes;
    std::optional<double> timeout;
    PyObject* progress = nullptr;
    bool accept_imperfect = false;
};

bool convert(const PackingKeywords& given, PackingArguments& out) {
    return convert_parameter(given.jobs, "jobs", to_optional_int64, out.jobs) &&
           convert_parameter(given.seed, "seed", to_optional_count, out.seed) &&
           convert_parameter(given.subboxes, "subboxes", to_optional_cells, out.subboxes) &&
           convert_parameter(given.timeout, "timeout", to_optional_number, out.timeout) &&
           convert_parameter(given.progress, "progress", to_optional_callable, out.progress) &&
           convert_parameter(given.accept_imperfect, "accept_imperfect", to_bool,
                             out.accept_imperfect);
}

// The keywords of a mixture by composition, as given (null when omitted).
struct CompositionKeywords {
    PyObject *mole_fractions = nullptr, *molecules = nullptr;
};

// The species and how many of each: counts, or a composition for the build to count.
struct SpeciesAmounts {
    std::vector<std::string> paths;
    std::vector<std::uint64_t> counts;
    std::optional<Composition> composition;

    void move_into(BuildRequest& request) {
        request.species = std::move(paths);
        request.counts = std::move(counts);
        request.composition = std::move(composition);
    }
};

// Species, and counts or a composition; the build checks them against each other.
bool convert_species(PyObject* species, PyObject* counts, const CompositionKeywords& composition,
                     SpeciesAmounts& out) {
    return convert_argument(species, "species", to_path_list, out.paths) &&
           convert_amounts(counts, composition.mole_fractions, composition.molecules, out.counts,
                           out.composition);
}

// The build with the interpreter lock released, so that the caller's other threads go on while
// Packmol runs and the files are written. Positions read in place from the caller's buffer are
// the exception: another thread could change them while they are written, so the lock stays.
// An interrupt is raised with a note on what became of the files: unchanged when the build
// stopped for it, written when it came after the last look, while the files were renamed.
PyObject* build_and_report(const BuildRequest& request, PythonWatch& watch, bool keep_lock) {
    auto built = keep_lock ? run_build(request, watch.watch()) : watch.run_without_lock(request);
    if (watch.raised()) {  // with the handler's or the callback's exception set
        if (!built) add_note(built.error().message);
        return nullptr;
    }
    if (!built) return raise_build_error(built.error());
    if (PyErr_CheckSignals() < 0) {
        add_note(fmt::format("the build had written its files into {} when it was interrupted",
                             request.out_dir.empty() ? "." : request.out_dir));
        return nullptr;
    }
    return report_dict(*built);
}

char* build_packmol_keywords[] = {
    keyword("species"),
    keyword("counts"),
    keyword("density"),
    keyword("pair_style"),
    keyword("explicit_lb"),
    keyword("force_field"),
    keyword("out_dir"),
    keyword("tolerance"),
    keyword("input_script"),
    keyword("temperature"),
    keyword("pressure"),
    keyword("timestep"),
    keyword("steps"),
    keyword("pressure_unit"),
    keyword("thermostat_damping"),
    keyword("barostat_damping"),
    keyword("thermo_every"),
    keyword("dump_every"),
    keyword("start_steps"),
    keyword("handover_steps"),
    keyword("cutoff"),
    keyword("coulomb_cutoff"),
    keyword("kspace_accuracy"),
    keyword("jobs"),
    keyword("seed"),
    keyword("subboxes"),
    keyword("timeout"),
    keyword("progress"),
    keyword("accept_imperfect"),
    keyword("strict"),
    keyword("model_force_fields"),
    keyword("mole_fractions"),
    keyword("molecules"),
    keyword("option_naming"),
    nullptr,
};

PyObject* build_packmol(PyObject* args, PyObject* kwargs) {
    PyObject *species = nullptr, *counts = nullptr, *density = nullptr, *tolerance = nullptr;
    PackageKeywords given;
    PackingKeywords given_packing;
    CompositionKeywords given_composition;
    if (!PyArg_ParseTupleAndKeywords(
            args, kwargs, "OOO|$OOOOOOOOOOOOOOOOOOOOOOOOOOOOOOO:build_packmol",
            build_packmol_keywords, &species, &counts, &density, &given.pair_style,
            &given.explicit_lb, &given.force_field, &given.out_dir, &tolerance, &given.input_script,
            &given.temperature, &given.pressure, &given.timestep, &given.steps,
            &given.run.pressure_unit, &given.run.thermostat_damping, &given.run.barostat_damping,
            &given.run.thermo_every, &given.run.dump_every, &given.run.start_steps,
            &given.run.handover_steps, &given.cutoff, &given.coulomb_cutoff, &given.kspace_accuracy,
            &given_packing.jobs, &given_packing.seed, &given_packing.subboxes,
            &given_packing.timeout, &given_packing.progress, &given_packing.accept_imperfect,
            &given.strict, &given.model_force_fields, &given_composition.mole_fractions,
            &given_composition.molecules, &given.option_naming)) {
        return nullptr;
    }
    SpeciesAmounts amounts;
    PackageArguments package;
    PackingArguments packing;
    PackmolPlacement placement;
    const bool converted =
        convert_species(species, counts, given_composition, amounts) &&
        convert_parameter(density, "density", to_any_number, placement.density) &&
        convert(given, package) &&
        convert_parameter(tolerance, "tolerance", to_any_number, placement.tolerance) &&
        convert(given_packing, packing);
    if (!converted) return nullptr;
    placement.jobs = packing.jobs;
    placement.seed = packing.seed;
    placement.subboxes = packing.subboxes;
    BuildRequest request = package.request();
    amounts.move_into(request);
    request.placement = placement;
    request.imperfect_packing =
        packing.accept_imperfect ? ImperfectPacking::Warn : ImperfectPacking::Fail;
    PythonWatch watch(packing.progress, packing.timeout);
    return build_and_report(request, watch, false);
}

char* build_from_coords_keywords[] = {
    keyword("species"),
    keyword("counts"),
    keyword("coords"),
    keyword("box_len"),
    keyword("pair_style"),
    keyword("explicit_lb"),
    keyword("force_field"),
    keyword("out_dir"),
    keyword("input_script"),
    keyword("temperature"),
    keyword("pressure"),
    keyword("timestep"),
    keyword("steps"),
    keyword("pressure_unit"),
    keyword("thermostat_damping"),
    keyword("barostat_damping"),
    keyword("thermo_every"),
    keyword("dump_every"),
    keyword("start_steps"),
    keyword("handover_steps"),
    keyword("cutoff"),
    keyword("coulomb_cutoff"),
    keyword("kspace_accuracy"),
    keyword("check_names"),
    keyword("check_bonds"),
    keyword("bond_check_off"),
    keyword("strict"),
    keyword("model_force_fields"),
    keyword("mole_fractions"),
    keyword("molecules"),
    keyword("option_naming"),
    keyword("equilibrated"),
    keyword("frame"),
    keyword("run_given"),
    nullptr,
};

// The arguments of build_from_coords as given, in parameter order.
struct FromCoordsArguments {
    PyObject *species = nullptr, *counts = nullptr, *coords = nullptr, *box_len = nullptr;
    PackageKeywords given;
    PyObject* check_names = nullptr;
    PyObject* check_bonds = nullptr;
    PyObject* bond_check_off = nullptr;
    CompositionKeywords composition;
    PyObject* equilibrated = nullptr;
    PyObject* frame = nullptr;
    PyObject* run_given = nullptr;
};

// equilibrated, into the run settings of in.lmp when one is written, and which of them the
// caller gave.
bool convert_run_extras(const FromCoordsArguments& given, BuildRequest& request) {
    bool equilibrated = false;
    if (!convert_parameter(given.equilibrated, "equilibrated", to_bool, equilibrated) ||
        !convert_parameter(given.run_given, "run_given", to_run_given, request.run_given)) {
        return false;
    }
    if (request.input_script) request.input_script->equilibrated = equilibrated;
    return true;
}

// check_bonds, and the words that turn the check off where the caller is, as the request takes
// them: the words when the check is on.
bool convert_bond_check(const FromCoordsArguments& given, BuildRequest& request) {
    bool check = true;
    std::string off = "check_bonds=False";
    if (!convert_parameter(given.check_bonds, "check_bonds", to_bool, check) ||
        !convert_parameter(given.bond_check_off, "bond_check_off", to_text, off)) {
        return false;
    }
    if (check) request.bond_check_off = std::move(off);
    return true;
}

// coords as a path: the file is read natively, after the inputs are checked, and its atoms never
// become Python objects.
PyObject* build_from_coords_file(const FromCoordsArguments& given) {
    SpeciesAmounts amounts;
    PackageArguments package;
    CoordinateFileSource file;
    const bool converted =
        convert_species(given.species, given.counts, given.composition, amounts) &&
        convert_argument(given.coords, "coords", to_path, file.path) &&
        convert_parameter(given.box_len, "box_len", to_optional_number, file.box_length) &&
        convert(given.given, package) &&
        convert_parameter(given.check_names, "check_names", to_bool, file.check_names) &&
        convert_parameter(given.frame, "frame", to_optional_int64, file.frame);
    BuildRequest request = package.request();
    if (!converted || !convert_bond_check(given, request) || !convert_run_extras(given, request)) {
        return nullptr;
    }
    if (file.box_length && !check_box_length(*file.box_length)) return nullptr;
    amounts.move_into(request);
    request.placement = std::move(file);
    PythonWatch watch;
    return build_and_report(request, watch, false);
}

PyObject* build_from_coords(PyObject* args, PyObject* kwargs) {
    FromCoordsArguments all;
    PackageKeywords& given = all.given;
    if (!PyArg_ParseTupleAndKeywords(
            args, kwargs, "OOOO|$OOOOOOOOOOOOOOOOOOOOOOOOOOOOOO:build_from_coords",
            build_from_coords_keywords, &all.species, &all.counts, &all.coords, &all.box_len,
            &given.pair_style, &given.explicit_lb, &given.force_field, &given.out_dir,
            &given.input_script, &given.temperature, &given.pressure, &given.timestep, &given.steps,
            &given.run.pressure_unit, &given.run.thermostat_damping, &given.run.barostat_damping,
            &given.run.thermo_every, &given.run.dump_every, &given.run.start_steps,
            &given.run.handover_steps, &given.cutoff, &given.coulomb_cutoff, &given.kspace_accuracy,
            &all.check_names, &all.check_bonds, &all.bond_check_off, &given.strict,
            &given.model_force_fields, &all.composition.mole_fractions, &all.composition.molecules,
            &given.option_naming, &all.equilibrated, &all.frame, &all.run_given)) {
        return nullptr;
    }
    if (PyUnicode_Check(all.coords)) return build_from_coords_file(all);
    PyObject *species = all.species, *counts = all.counts, *coords = all.coords,
             *box_len = all.box_len;
    SpeciesAmounts amounts;
    PackageArguments package;
    CoordinateRows rows;
    double box_length = 0;
    bool unused_check_names = true;
    std::optional<std::int64_t> unused_frame;
    // A number that is not a plain float or int runs the caller's code when converted
    // (__float__, __index__), which could write into a buffer the positions are read from in
    // place: they must stay as they were when coords was converted.
    auto keep_positions_as_given = [&] {
        const auto plain = [](PyObject* value) {
            return value == nullptr || Py_IsNone(value) || PyFloat_CheckExact(value) ||
                   PyLong_CheckExact(value);
        };
        const RunKeywords& run = given.run;
        // A list or tuple of names is read without the caller's code; a subclass may iterate.
        const bool plain_names = all.run_given == nullptr || Py_IsNone(all.run_given) ||
                                 PyList_CheckExact(all.run_given) ||
                                 PyTuple_CheckExact(all.run_given);
        if (!plain(box_len) || !plain(given.temperature) || !plain(given.pressure) ||
            !plain(given.timestep) || !plain(given.steps) || !plain(given.cutoff) ||
            !plain(given.coulomb_cutoff) || !plain(given.kspace_accuracy) ||
            !plain(run.thermostat_damping) || !plain(run.barostat_damping) ||
            !plain(run.thermo_every) || !plain(run.dump_every) || !plain(run.start_steps) ||
            !plain(run.handover_steps) || !plain_names) {
            rows.take_private_copy();
        }
        return true;
    };
    const bool converted =
        convert_species(species, counts, all.composition, amounts) &&
        convert_parameter(coords, "coords", to_coordinate_array, rows) &&
        keep_positions_as_given() &&
        convert_parameter(box_len, "box_len", to_any_number, box_length) &&
        convert(given, package) &&
        // Positions carry no names; the flag is converted so a wrong type is refused alike.
        convert_parameter(all.check_names, "check_names", to_bool, unused_check_names) &&
        convert_parameter(all.frame, "frame", to_optional_int64, unused_frame);
    BuildRequest request = package.request();
    if (!converted || !convert_bond_check(all, request) || !convert_run_extras(all, request)) {
        return nullptr;
    }
    // The positions and the box are checked before any file is opened.
    if (!check_given_coordinates(rows, box_length)) return nullptr;
    amounts.move_into(request);
    request.placement = GivenPositions{rows.positions(), box_length, true};
    PythonWatch watch;
    return build_and_report(request, watch, static_cast<bool>(rows.exported));
}

constexpr char RUN_RASPA3_DOC[] =
    "run_raspa3(species, counts, *, density=None, box_len=None, force_field='force_field.json', "
    "model_force_fields=None, temperature=298.15, pressure=None, init_cycles=200, cycles=300, "
    "seed=None, timeout=None, progress=None, raspa3=None, keep_dir=None, cutoff=None, "
    "coulomb_cutoff=None, strict=False, mole_fractions=None, molecules=None, "
    "pressure_unit='atm')\n"
    "--\n"
    "\n"
    "Place and equilibrate the mixture with RASPA3's Monte Carlo; write no LAMMPS file.\n"
    "\n"
    "RASPA3 starts from a cube of the density (kg/m\u00b3) or the edge box_len (\u00c5) and "
    "runs init_cycles and cycles at temperature (K); pressure (in pressure_unit: 'atm', 'bar', "
    "'kPa', 'MPa' or 'Pa') adds volume moves (NPT). "
    "cutoff and coulomb_cutoff are the LAMMPS run's (the force field's CutOffVDW and 10 "
    "\u00c5 when None), at most half the box. raspa3 is the program (else $BOXWRIGHT_RASPA3, "
    "else raspa3 on PATH); keep_dir, when given, is where it runs and what it leaves. "
    "progress(done, total, elapsed, remaining) counts cycles; timeout (seconds) stops RASPA3. "
    "Returns a dict: positions (float64 bytes, three per atom, species, molecule, atom order), "
    "atoms, box_length, energy_k, counts, init_cycles, cycles, cutoff_vdw, cutoff_coulomb, "
    "acceptance (component, move, accepted, attempted) and diagnostics.";

char* run_raspa3_keywords[] = {
    keyword("species"),        keyword("counts"),
    keyword("density"),        keyword("box_len"),
    keyword("force_field"),    keyword("model_force_fields"),
    keyword("temperature"),    keyword("pressure"),
    keyword("init_cycles"),    keyword("cycles"),
    keyword("seed"),           keyword("timeout"),
    keyword("progress"),       keyword("raspa3"),
    keyword("keep_dir"),       keyword("cutoff"),
    keyword("coulomb_cutoff"), keyword("strict"),
    keyword("mole_fractions"), keyword("molecules"),
    keyword("pressure_unit"),  nullptr,
};

// The keywords of run_raspa3 as given (null when omitted).
struct RaspaKeywords {
    PyObject *density = nullptr, *box_len = nullptr, *force_field = nullptr,
             *model_force_fields = nullptr, *temperature = nullptr, *pressure = nullptr,
             *init_cycles = nullptr, *cycles = nullptr, *seed = nullptr, *timeout = nullptr,
             *progress = nullptr, *raspa3 = nullptr, *keep_dir = nullptr, *cutoff = nullptr,
             *coulomb_cutoff = nullptr, *strict = nullptr, *pressure_unit = nullptr;
};

bool to_optional_text_path(PyObject* value, const char* parameter,
                           std::optional<std::string>& path) {
    if (Py_IsNone(value)) return true;
    return to_path(value, parameter, path.emplace());
}

PyObject* acceptance_dict(const MoveAcceptance& move) {
    PyRef dict = PyRef::steal(
        Py_BuildValue("{s:N,s:N,s:d,s:d}", "component", to_str(move.component), "move",
                      to_str(move.move), "accepted", move.accepted, "attempted", move.attempted));
    return dict.release();
}

PyObject* diagnostic_item(const Diagnostic& d) {
    return Py_BuildValue("{s:N,s:s,s:N}", "kind", to_str(std::string(kind_name(d.kind))), "level",
                         d.level == DiagnosticLevel::Warning ? "warning" : "note", "text",
                         to_str(d.text));
}

template <class Range, class Convert>
PyObject* new_list(const Range& range, Convert convert) {
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const auto& element : range) {
        PyRef item = PyRef::steal(convert(element));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
    }
    return list.release();
}

PyObject* raspa_result(const PlacedSystem& placed) {
    const RaspaOutcome& outcome = *placed.atoms.raspa;
    const auto positions = placed.atoms.positions();
    std::vector<std::uint64_t> counts;
    for (const auto& molecule : placed.system.loaded.molecules) {
        std::uint64_t count = 0;
        for (const auto& pair : placed.system.active()) {
            if (pair.resolved.molecule == &molecule) count = pair.count;
        }
        counts.push_back(count);
    }
    PyRef bytes = PyRef::steal(
        PyBytes_FromStringAndSize(reinterpret_cast<const char*>(positions.data()),
                                  static_cast<Py_ssize_t>(positions.size() * sizeof(Position))));
    PyRef count_list = PyRef::steal(
        new_list(counts, [](std::uint64_t c) { return PyLong_FromUnsignedLongLong(c); }));
    PyRef acceptance = PyRef::steal(new_list(outcome.acceptance, acceptance_dict));
    PyRef diagnostics = PyRef::steal(new_list(placed.diagnostics.entries(), diagnostic_item));
    if (!bytes || !count_list || !acceptance || !diagnostics) return nullptr;
    return Py_BuildValue("{s:O,s:K,s:d,s:d,s:O,s:K,s:K,s:d,s:d,s:O,s:O}", "positions", bytes.get(),
                         "atoms", static_cast<unsigned long long>(positions.size()), "box_length",
                         placed.atoms.box_length, "energy_k", outcome.energy_k, "counts",
                         count_list.get(), "init_cycles",
                         static_cast<unsigned long long>(outcome.init_cycles), "cycles",
                         static_cast<unsigned long long>(outcome.cycles), "cutoff_vdw",
                         outcome.cutoff_vdw, "cutoff_coulomb", outcome.cutoff_coulomb, "acceptance",
                         acceptance.get(), "diagnostics", diagnostics.get());
}

PyObject* run_raspa3(PyObject* args, PyObject* kwargs) {
    PyObject *species = nullptr, *counts = nullptr;
    RaspaKeywords given;
    CompositionKeywords composition;
    if (!PyArg_ParseTupleAndKeywords(
            args, kwargs, "OO|$OOOOOOOOOOOOOOOOOOO:run_raspa3", run_raspa3_keywords, &species,
            &counts, &given.density, &given.box_len, &given.force_field, &given.model_force_fields,
            &given.temperature, &given.pressure, &given.init_cycles, &given.cycles, &given.seed,
            &given.timeout, &given.progress, &given.raspa3, &given.keep_dir, &given.cutoff,
            &given.coulomb_cutoff, &given.strict, &composition.mole_fractions,
            &composition.molecules, &given.pressure_unit)) {
        return nullptr;
    }
    SpeciesAmounts amounts;
    RaspaPlacement raspa;
    std::string force_field = "force_field.json";
    std::vector<std::string> model_force_fields;
    PairSettings pair;
    bool strict = false;
    std::optional<double> timeout;
    PyObject* progress = nullptr;
    std::string unit_name = "atm";
    const bool converted =
        convert_species(species, counts, composition, amounts) &&
        convert_parameter(given.density, "density", to_optional_number, raspa.density) &&
        convert_parameter(given.box_len, "box_len", to_optional_number, raspa.box_length) &&
        convert_argument(given.force_field, "force_field", to_optional_path, force_field) &&
        convert_argument(given.model_force_fields, "model_force_fields", to_optional_path_list,
                         model_force_fields) &&
        convert_parameter(given.temperature, "temperature", to_any_number, raspa.temperature) &&
        convert_parameter(given.pressure, "pressure", to_optional_number, raspa.pressure) &&
        convert_parameter(given.init_cycles, "init_cycles", to_count, raspa.init_cycles) &&
        convert_parameter(given.cycles, "cycles", to_count, raspa.cycles) &&
        convert_parameter(given.seed, "seed", to_optional_count, raspa.seed) &&
        convert_parameter(given.timeout, "timeout", to_optional_number, timeout) &&
        convert_parameter(given.progress, "progress", to_optional_callable, progress) &&
        convert_parameter(given.raspa3, "raspa3", to_optional_text_path, raspa.program) &&
        convert_parameter(given.keep_dir, "keep_dir", to_optional_text_path, raspa.keep_dir) &&
        convert_parameter(given.cutoff, "cutoff", to_optional_number, pair.cutoff) &&
        convert_parameter(given.coulomb_cutoff, "coulomb_cutoff", to_optional_number,
                          pair.coulomb_cutoff) &&
        convert_parameter(given.strict, "strict", to_bool, strict) &&
        convert_parameter(given.pressure_unit, "pressure_unit", to_text, unit_name);
    if (!converted) return nullptr;
    const auto unit = pressure_unit_option(unit_name, OptionNaming::Python);
    if (!unit) return raise_build_error(unit.error());
    raspa.pressure_unit = *unit;
    BuildRequest request;
    request.force_field = force_field;
    request.model_force_fields = std::move(model_force_fields);
    request.preset_rule = PresetRule::FromCharges;
    request.pair_settings = pair;
    // The temperature, pressure and cutoffs are the LAMMPS run's too: checked as in.lmp takes
    // them.
    request.input_script = RunSettings{};
    request.input_script->temperature = raspa.temperature;
    request.input_script->pressure = raspa.pressure;
    request.input_script->pressure_unit = raspa.pressure_unit;
    request.full_report = true;
    request.declared_m_site = true;
    request.strict = strict;
    request.suggest_names = true;
    amounts.move_into(request);
    request.placement = std::move(raspa);
    PythonWatch watch(progress, timeout);
    auto placed = watch.place_without_lock(request);
    if (watch.raised()) {
        if (!placed) add_note(placed.error().message);
        return nullptr;
    }
    if (!placed) return raise_build_error(placed.error());
    return raspa_result(*placed);
}

PyObject* run_raspa3_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return run_raspa3(args, kwargs); });
}

PyMethodDef run_raspa3_def = {"run_raspa3", as_method(run_raspa3_entry),
                              METH_VARARGS | METH_KEYWORDS, RUN_RASPA3_DOC};

PyObject* build_packmol_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return build_packmol(args, kwargs); });
}

PyObject* build_from_coords_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return without_cpp_exceptions([&] { return build_from_coords(args, kwargs); });
}

PyMethodDef build_packmol_def = {"build_packmol", as_method(build_packmol_entry),
                                 METH_VARARGS | METH_KEYWORDS, BUILD_PACKMOL_DOC};
PyMethodDef build_from_coords_def = {"build_from_coords", as_method(build_from_coords_entry),
                                     METH_VARARGS | METH_KEYWORDS, BUILD_FROM_COORDS_DOC};

}  // namespace

PyMethodDef* build_packmol_method() { return &build_packmol_def; }
PyMethodDef* build_from_coords_method() { return &build_from_coords_def; }
PyMethodDef* run_raspa3_method() { return &run_raspa3_def; }

}  // namespace boxwright::python
