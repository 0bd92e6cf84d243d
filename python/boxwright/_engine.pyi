"""Native capabilities of the boxwright package beyond `boxwright._native`.

A build that fails raises `boxwright.BuildError`, with the input file and line at fault when the
build knows them.
"""

from collections.abc import Buffer, Callable, Sequence
from typing import Any, Literal, SupportsFloat, SupportsIndex, TypedDict

__all__: list[str]

# A preset as its integer code (0 Tip4p, 1 LjCut, 2 LjCutCoulLong), its name ("auto" for Tip4p
# when a species is a water that declares its M site, else LjCutCoulLong when an atom of the build
# carries a charge, else LjCut; "tip4p", "lj-cut", "lj-cut-coul-long", "none") or None (no
# preset).
_PairCode = int | str | None

def build_packmol(
    species: Sequence[str],
    counts: Sequence[SupportsIndex] | None,
    density: SupportsFloat | SupportsIndex,
    *,
    pair_style: _PairCode = "auto",
    explicit_lb: bool = False,
    force_field: str | None = "force_field.json",
    out_dir: str = ".",
    tolerance: SupportsFloat | SupportsIndex = 2.0,
    input_script: bool = True,
    temperature: SupportsFloat | SupportsIndex = 298.15,
    pressure: SupportsFloat | SupportsIndex | None = 1.0,
    timestep: SupportsFloat | SupportsIndex = 1.0,
    steps: SupportsIndex = 100000,
    pressure_unit: str = "atm",
    thermostat_damping: SupportsFloat | SupportsIndex = 100.0,
    barostat_damping: SupportsFloat | SupportsIndex = 1000.0,
    thermo_every: SupportsIndex = 1000,
    dump_every: SupportsIndex = 1000,
    start_steps: SupportsIndex = 10000,
    handover_steps: SupportsIndex = 5000,
    cutoff: SupportsFloat | SupportsIndex | None = None,
    coulomb_cutoff: SupportsFloat | SupportsIndex | None = None,
    kspace_accuracy: SupportsFloat | SupportsIndex | None = None,
    jobs: SupportsIndex | None = None,
    seed: SupportsIndex | None = None,
    subboxes: Sequence[SupportsIndex] | None = None,
    timeout: SupportsFloat | SupportsIndex | None = None,
    progress: Callable[[int, int, float, float], object] | None = None,
    accept_imperfect: bool = False,
    strict: bool = False,
    model_force_fields: Sequence[str] | None = None,
    mole_fractions: Sequence[SupportsFloat | SupportsIndex] | None = None,
    molecules: SupportsIndex | None = None,
    option_naming: Literal["python", "command-line"] = "python",
) -> dict[str, Any]:
    """Pack with Packmol, write data.lmp, forcefield.lmp and in.lmp; return the report as a dict.

    jobs=None packs the box in one Packmol run; an int splits it into sub-boxes (subboxes=(nx,
    ny, nz), or chosen from the system) packed by that many Packmol processes at once (0: one per
    core), each seeded from seed. progress(done, total, elapsed, remaining) is called after each
    Packmol run; timeout (seconds) stops the packing. A packing that Packmol reports as failed,
    or that leaves atoms of different molecules closer than the tolerance, fails the build unless
    accept_imperfect is true, which keeps it with a warning.

    pressure is in pressure_unit ('atm', 'bar', 'kPa', 'MPa' or 'Pa'), which in.lmp keeps.
    thermostat_damping and barostat_damping (fs), thermo_every, dump_every (0: no trajectory),
    start_steps and handover_steps are in.lmp's index variables of those names.

    cutoff (Lennard-Jones, in place of the force field's CutOffVDW) and coulomb_cutoff, in Å, and
    kspace_accuracy (PPPM's relative error in forces) are given in in.lmp in place of the
    preset's; None keeps those. strict=True fails on the build's first warnings and writes
    nothing.

    model_force_fields names the force-field files of the bundled models the species use: their
    entries are merged after force_field's (None for the models' alone), and a pseudo atom both
    declare must carry the same numbers.

    counts may be None when mole_fractions (one per species, summing to 1 within 0.01) and
    molecules (their total) are given instead: the counts are molecules times the fractions,
    scaled to sum to 1 and rounded by largest remainder so that they sum to molecules, and a
    note of the report (kind "composition") says how.

    The dict: summary (the `_native` summary text, with a "packing:" line when the box was
    split), pair_style (preset name or None), species (name, count, atoms_per_molecule,
    molecular_mass, charge), atom_types (number, name, species: each type of data.lmp, its
    pseudo atom and the species that use it), totals (atoms, bonds, angles, dihedrals and their *_types),
    box_length, density, net_charge, min_distance (or None), closest_atoms (0-based, or None),
    warnings, diagnostics (kind, level, text, in the order the build said them), files, subboxes
    ([nx, ny, nz], or None for one run) and jobs (or None)."""

def build_from_coords(
    species: Sequence[str],
    counts: Sequence[SupportsIndex] | None,
    coords: str | Sequence[Sequence[SupportsFloat | SupportsIndex]] | Buffer,
    box_len: SupportsFloat | SupportsIndex | None,
    *,
    pair_style: _PairCode = "auto",
    explicit_lb: bool = False,
    force_field: str | None = "force_field.json",
    out_dir: str = ".",
    input_script: bool = True,
    temperature: SupportsFloat | SupportsIndex = 298.15,
    pressure: SupportsFloat | SupportsIndex | None = 1.0,
    timestep: SupportsFloat | SupportsIndex = 1.0,
    steps: SupportsIndex = 100000,
    pressure_unit: str = "atm",
    thermostat_damping: SupportsFloat | SupportsIndex = 100.0,
    barostat_damping: SupportsFloat | SupportsIndex = 1000.0,
    thermo_every: SupportsIndex = 1000,
    dump_every: SupportsIndex = 1000,
    start_steps: SupportsIndex = 10000,
    handover_steps: SupportsIndex = 5000,
    cutoff: SupportsFloat | SupportsIndex | None = None,
    coulomb_cutoff: SupportsFloat | SupportsIndex | None = None,
    kspace_accuracy: SupportsFloat | SupportsIndex | None = None,
    check_names: bool = True,
    check_bonds: bool = True,
    bond_check_off: str = "check_bonds=False",
    strict: bool = False,
    model_force_fields: Sequence[str] | None = None,
    mole_fractions: Sequence[SupportsFloat | SupportsIndex] | None = None,
    molecules: SupportsIndex | None = None,
    option_naming: Literal["python", "command-line"] = "python",
    equilibrated: bool = False,
    frame: SupportsIndex | None = None,
    run_given: Sequence[str] | None = None,
) -> dict[str, Any]:
    """Write data.lmp, forcefield.lmp and in.lmp for given positions; return the report as a
    dict (as build_packmol's).

    coords given as a str is the path of a coordinate file (.xyz, .extxyz, .pdb, .data, .lmp,
    .dump, .lammpstrj, .gro), read natively after the force field and the species are checked;
    box_len may then be None for the box the file states, check_names compares the file's atom
    names (a dump's types) with the species', and frame chooses the frame of a file of several
    (from 1, or from -1 at the end; None: the last). check_bonds compares every bond's length, under the minimum image, with the
    molecule file's (within 25 %) and fails the build on the first that is off, naming
    bond_check_off as the way to skip it. cutoff, coulomb_cutoff, kspace_accuracy, strict,
    model_force_fields, mole_fractions, molecules and the run settings as for build_packmol.
    equilibrated=True says the positions come from an equilibration (run_raspa3, or another
    program), for in.lmp to start them so. run_given names those of temperature, pressure (with
    pressure_unit) and timestep the caller gave (None: all of them): a final.data beside an
    in.lmp of ours takes the others from that in.lmp."""


def run_raspa3(
    species: Sequence[str],
    counts: Sequence[SupportsIndex] | None,
    *,
    density: SupportsFloat | SupportsIndex | None = None,
    box_len: SupportsFloat | SupportsIndex | None = None,
    force_field: str | None = "force_field.json",
    model_force_fields: Sequence[str] | None = None,
    temperature: SupportsFloat | SupportsIndex = 298.15,
    pressure: SupportsFloat | SupportsIndex | None = None,
    init_cycles: SupportsIndex = 200,
    cycles: SupportsIndex = 300,
    seed: SupportsIndex | None = None,
    timeout: SupportsFloat | SupportsIndex | None = None,
    progress: Callable[[int, int, float, float], object] | None = None,
    raspa3: str | None = None,
    keep_dir: str | None = None,
    cutoff: SupportsFloat | SupportsIndex | None = None,
    coulomb_cutoff: SupportsFloat | SupportsIndex | None = None,
    strict: bool = False,
    mole_fractions: Sequence[SupportsFloat | SupportsIndex] | None = None,
    molecules: SupportsIndex | None = None,
    pressure_unit: str = "atm",
) -> dict[str, Any]:
    """Place and equilibrate the mixture with RASPA3's Monte Carlo; write no LAMMPS file.

    Returns a dict: positions (float64 bytes, three per atom), atoms, box_length, energy_k,
    counts, init_cycles, cycles, cutoff_vdw, cutoff_coulomb, acceptance (component, move,
    accepted, attempted) and diagnostics (kind, level, text)."""


def option_table() -> tuple[
        tuple[str, str, str, str, str, str, str, str, tuple[str, ...]], ...]:
    """Every option of the run, the packing and the coordinate file, declared once: a tuple of
    (name, kind, type, unit, metavar, default, help, default_words, choices) per option, kind
    one of 'run', 'pair', 'packing', 'split-packing', 'coordinates'; default as Python writes
    it, '' when required; choices the words of a 'choice', else ()."""

def preset_names() -> tuple[str, ...]:
    """The pair-style presets' names, 'auto' first."""

class _MoleculeFacts(TypedDict):
    sites: int
    shape: str
    charge: float
    charged: bool

def describe_molecule(molecule: str, force_field: str) -> _MoleculeFacts:
    """The sites (atoms, plus the M site of a four-site water), the shape ("one site", "rigid",
    "fixed bonds" or "flexible", by the rules in.lmp holds molecules with), the net charge and
    whether any site is charged, of a molecule file whose pseudo atoms the force-field file
    declares."""
