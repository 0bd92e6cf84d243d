"""Coordinate files from other programs: a system equilibrated in LAMMPS and saved with write_data
is rebuilt from that file, and from its dump, every atom where LAMMPS has it, unwrapped, in a box
moved to the origin; the frames of XYZ, PDB, dump and .gro files, through the package and the
command line."""

import math
import re

from boxwright import BuildError, pack
from support import (FORCE_FIELD, TempDirTestCase, atoms_of, boxwright, example,
                     lattice_coordinates, lmp, needs_lammps, run_variables, section_of)

SPECIES = [example("water.json"), example("butane.json")]
COUNTS = [6, 3]

# Moves the box off the origin, runs long enough for molecules to cross its faces while LAMMPS
# re-sorts its atoms every step (so write_data lists them out of ID order), then saves the system
# and, for comparison, every atom's unwrapped position.
RUN = """units real
atom_style full
read_data data.lmp
include forcefield.lmp
change_box all x delta -5 -5 y delta -5 -5 z delta -5 -5 remap
atom_modify sort 1 1.0
velocity all create 900.0 4242 mom yes
fix move all nve
timestep 0.5
run 400
write_data equilibrated.data
write_dump all custom unwrapped.txt id xu yu zu modify sort id format float %.17g
"""


@needs_lammps
class LammpsDataFileTest(TempDirTestCase):
    def test_write_data_output_rebuilds_the_system(self):
        packed = self.tmp / "packed"
        pack.packmol(SPECIES, COUNTS, 200.0, force_field=FORCE_FIELD, out_dir=packed)
        (packed / "run.lmp").write_text(RUN)
        lmp(["-in", "run.lmp", "-log", "none", "-screen", "none", "-nocite"], packed, check=True)
        listed = [line.split()[0] for line in
                  (packed / "equilibrated.data").read_text().split("Atoms # full\n\n")[1]
                  .split("\n\n")[0].splitlines()]
        self.assertNotEqual(listed, sorted(listed, key=int), "LAMMPS kept the atoms in order")

        report = pack.from_coords(SPECIES, COUNTS, packed / "equilibrated.data",
                                  force_field=FORCE_FIELD, out_dir=self.tmp / "rebuilt")
        dump = (packed / "unwrapped.txt").read_text().splitlines()
        low = [float(line.split()[0]) for line in dump[5:8]]
        high = [float(line.split()[1]) for line in dump[5:8]]
        self.assertEqual(report.box_length, high[0] - low[0])
        expected = [[float(v) - o for v, o in zip(line.split()[1:], low)] for line in dump[9:]]
        # data.lmp keeps seven significant digits
        self.assert_positions_near(atoms_of(self.tmp / "rebuilt" / "data.lmp"), expected, 5e-7,
                                   relative=True)
        self.assertTrue(any(not 0 <= v <= high[0] - low[0] for atom in expected for v in atom),
                        "no molecule crossed a face of the box")


@needs_lammps
class LammpsDumpTest(TempDirTestCase):
    def test_the_last_frame_of_a_dump_is_the_final_state(self):
        # in.lmp's trajectory every 50 steps: its last frame is written at the last step, as
        # final.data is; both rebuild the same positions, to the dump's six digits, and the
        # dump's types are the build's.
        packed = self.tmp / "packed"
        pack.packmol(SPECIES, COUNTS, 200.0, force_field=FORCE_FIELD, out_dir=packed)
        lmp([*run_variables(start_steps=100, handover_steps=100, steps=200, dump_every=50),
             "-in", "in.lmp", "-log", "none", "-screen", "none", "-nocite"], packed, check=True)
        from_data = pack.from_coords(SPECIES, COUNTS, packed / "final.data",
                                     force_field=FORCE_FIELD, out_dir=self.tmp / "data")
        from_dump = pack.from_coords(SPECIES, COUNTS, packed / "trajectory.lammpstrj",
                                     force_field=FORCE_FIELD, out_dir=self.tmp / "dump")
        # The minimisation's iterations count as steps: the last frame's timestep is final.data's.
        last_step = re.search(r"timestep = (\d+)", (packed / "final.data").read_text()).group(1)
        frame = next(d.text for d in from_dump.diagnostics if d.kind == "coordinate-frame")
        self.assertRegex(frame, rf"^read frame (\d+) of \1 of .*\(timestep {last_step}\)$")
        self.assertAlmostEqual(from_dump.box_length, from_data.box_length, places=9)
        self.assert_positions_near(atoms_of(self.tmp / "dump" / "data.lmp"),
                                   atoms_of(self.tmp / "data" / "data.lmp"), 6e-6, relative=True)


# Two waters and two CO2 on a lattice in a 20 Å box; frame k has every atom moved by k/2 Å.
WATER, CO2 = example("water.json"), example("co2.json")
MIXTURE = [(WATER, 2), (CO2, 2)]
NAMES = ["Ow", "Hw", "Hw"] * 2 + ["C_co2", "O_co2", "O_co2"] * 2
TYPES = {"Ow": 1, "Hw": 2, "C_co2": 3, "O_co2": 4}
EDGE = 20.0
LATTICE = lattice_coordinates(MIXTURE)


def frame(k):
    return [[v + k / 2 for v in atom] for atom in LATTICE]


def xyz_file(frames):
    return "".join(f"{len(NAMES)}\nLattice=\"20 0 0 0 20 0 0 0 20\" frame {k}\n" +
                   "".join(f"{n} {x} {y} {z}\n" for n, (x, y, z) in zip(NAMES, frame(k)))
                   for k in frames)


def pdb_file(frames):
    def record(i, name, p):
        return f"HETATM{i:5d} {name[:4]:<4} MOL A   1    {p[0]:8.3f}{p[1]:8.3f}{p[2]:8.3f}\n"
    return "CRYST1   20.000   20.000   20.000  90.00  90.00  90.00 P 1\n" + "".join(
        f"MODEL     {k:4d}\n" + "".join(record(i, n, p) for i, (n, p) in
                                        enumerate(zip(NAMES, frame(k)), start=1)) + "ENDMDL\n"
        for k in frames) + "END\n"


def dump_file(frames, columns="x y z ix iy iz", velocity=None, bounds=(-10, 10)):
    """Atoms in reverse order of their ids; wrapped positions with their image flags, unwrapped or
    scaled, as the columns say."""
    low, high = bounds
    edge = high - low
    def columns_of(position):
        wrapped = [math.floor(x / edge) for x in position]
        inside = [x - n * edge for x, n in zip(position, wrapped)]
        values = {"x y z ix iy iz": [x + low for x in inside] + wrapped,
                  "xs ys zs": [x / edge for x in inside],
                  "xu yu zu": [x + low for x in position],
                  "xs ys zs ix iy iz": [x / edge for x in inside] + wrapped}[columns]
        return " ".join(map(repr, values)) + ("" if velocity is None else " %r %r %r" % velocity)
    text = ""
    for k in frames:
        text += (f"ITEM: TIMESTEP\n{100 * k}\nITEM: NUMBER OF ATOMS\n{len(NAMES)}\n"
                 f"ITEM: BOX BOUNDS pp pp pp\n{low} {high}\n{low} {high}\n{low} {high}\n"
                 f"ITEM: ATOMS id type {columns}{'' if velocity is None else ' vx vy vz'}\n")
        for i in reversed(range(len(NAMES))):
            text += f"{i + 1} {TYPES[NAMES[i]]} {columns_of(frame(k)[i])}\n"
    return text


def gro_file(frames, velocity=None):
    def atom(i, name, p):
        v = "" if velocity is None else "".join(f"{c:8.4f}" for c in velocity)
        return f"{i // 3 + 1:5d}{'MOL':<5}{name:>5}{i + 1:5d}" + "".join(
            f"{c / 10:8.3f}" for c in p) + v + "\n"
    return "".join(f"mixture t= {k}.0\n{len(NAMES):5d}\n" + "".join(
        atom(i, n, p) for i, (n, p) in enumerate(zip(NAMES, frame(k)))) + "   2.00000   2.00000"
        "   2.00000\n" for k in frames)


def cut_last_line(text):
    return text[:text.rstrip("\n").rfind("\n") + 1]


class FramesTest(TempDirTestCase):
    """One table per format: the frame read, its note, positions wrapped or not, velocities, and
    the refusals, through the package and the command line."""

    # (name, file, text, from_coords keywords, the frame read and the frames of the file, or the
    # failure's text; the velocities)
    CASES = [
        ("xyz, one frame", "a.xyz", xyz_file([1]), {}, (1, 1), None),
        ("xyz, the last of three", "a.xyz", xyz_file([1, 2, 3]), {}, (3, 3), None),
        ("xyz, the first", "a.xyz", xyz_file([1, 2, 3]), {"frame": 1}, (1, 3), None),
        ("xyz, cut short", "a.xyz", cut_last_line(xyz_file([1, 2])), {"frame": 1},
         "a.xyz:28: the file ends after 11 of the 12 atoms of its count line", None),
        ("pdb, one model", "a.pdb", pdb_file([1]), {}, (1, 1), None),
        ("pdb, the second from the end", "a.pdb", pdb_file([1, 2, 3]), {"frame": -2}, (2, 3),
         None),
        ("pdb, beyond the last", "a.pdb", pdb_file([1, 2, 3]), {"frame": 4},
         "a.pdb has 3 frames, so frame 4 cannot be read", None),
        ("pdb, a name", "a.pdb", pdb_file([1, 2]).replace("C_co", "CO2 "), {"frame": 1},
         "a.pdb:9: atom 7 is named 'CO2' but the species and counts expect 'C_co' of co2 there",
         None),
        ("dump, one frame", "a.dump", dump_file([1]), {}, (1, 1), None),
        ("dump, wrapped with image flags", "a.dump", dump_file([1, 2, 3]), {}, (3, 3), None),
        ("dump, unwrapped", "a.lammpstrj", dump_file([1, 2, 3], "xu yu zu"), {"frame": 2},
         (2, 3), None),
        ("dump, scaled", "a.dump", dump_file([1, 2], "xs ys zs ix iy iz"), {}, (2, 2), None),
        ("dump, velocities", "a.dump", dump_file([1], "xu yu zu", (0.001, -0.002, 0.5)), {},
         (1, 1), (0.001, -0.002, 0.5)),
        ("dump, not a cube", "a.dump", dump_file([1], bounds=(0, 20)).replace(
            "0 20\nITEM", "0 21\nITEM"), {},
         "a.dump:8: the box is not a cube: its edges are 20, 20 and 21", None),
        ("dump, a type", "a.dump", dump_file([1]).replace("\n7 3 ", "\n7 4 "), {},
         "a.dump:15: atom 7 has type 4 but the species and counts expect type 3 ('C_co2' of "
         "co2) there", None),
        ("dump, cut short", "a.dump", cut_last_line(dump_file([1, 2])), {},
         "a.dump:42: the file ends after 11 of the 12 atoms of NUMBER OF ATOMS", None),
        ("gro, two frames with velocities", "a.gro", gro_file([1, 2], (0.1, -0.2, 1.5)), {},
         (2, 2), (0.001, -0.002, 0.015)),
        ("gro, not a cube", "a.gro", gro_file([1]).replace("2.00000\n", "2.10000\n"), {},
         "a.gro:15: the box is not a cube: '   2.00000   2.00000   2.10000'", None),
        ("gro, cut short", "a.gro", cut_last_line(gro_file([1])), {},
         "a.gro:15: the file ends before the box line", None),
    ]

    def check_built(self, out, path, read, velocity, report):
        k, frames = read
        self.assert_positions_near(atoms_of(out / "data.lmp"), frame(k), 6e-3)
        self.assertEqual(report.box_length, EDGE)
        notes = [d.text for d in report.diagnostics if d.kind == "coordinate-frame"]
        if frames == 1:
            self.assertEqual(notes, [])
        else:
            self.assertEqual(len(notes), 1)
            self.assertTrue(notes[0].startswith(f"read frame {k} of {frames} of {path}"), notes)
        velocities = section_of(out / "data.lmp", "Velocities", slice(1, 4))
        if velocity is None:
            self.assertIsNone(velocities)
        else:
            self.assert_positions_near(velocities, [velocity] * len(velocities), 1e-12)

    def test_through_the_package(self):
        for name, file, text, kwargs, expected, velocity in self.CASES:
            with self.subTest(name):
                path = self.tmp / name.replace(" ", "_").replace(",", "") / file
                path.parent.mkdir()
                path.write_text(text)
                build = lambda: pack.from_coords(  # noqa: E731
                    [WATER, CO2], [2, 2], path, force_field=FORCE_FIELD,
                    out_dir=path.parent / "out", **kwargs)
                if isinstance(expected, str):
                    self.assert_raises_exactly(BuildError, f"{path.parent}/{expected}", build)
                else:
                    self.check_built(path.parent / "out", path, expected, velocity, build())

    def test_through_the_command_line(self):
        # The frame option, its note in the report, and a refusal: one of each format.
        for name, text in (("a.pdb", pdb_file([1, 2, 3])), ("a.dump", dump_file([1, 2, 3])),
                           ("a.gro", gro_file([1, 2])), ("a.xyz", xyz_file([1, 2]))):
            (self.tmp / name).write_text(text)
        common = ["from-coords", "--species", WATER, CO2, "--counts", 2, 2, "--force-field",
                  FORCE_FIELD]
        for file, frame_args, k, note in [
                ("a.pdb", ["--frame", "-3"], 1, "read frame 1 of 3 of a.pdb"),
                ("a.dump", [], 3, "read frame 3 of 3 of a.dump (timestep 300)"),
                ("a.gro", ["--frame", "1"], 1, "read frame 1 of 2 of a.gro"),
                ("a.xyz", ["--frame", "2"], 2, "read frame 2 of 2 of a.xyz")]:
            with self.subTest(file):
                result = self.boxwright_ok(*common, "--coords", file, *frame_args, "--out-dir",
                                           file + ".out", cwd=self.tmp)
                self.assertIn(f"\n{note}\n", result.stdout)
                positions = atoms_of(self.tmp / (file + ".out") / "data.lmp")
                self.assertAlmostEqual(positions[0][0], frame(k)[0][0], delta=6e-3)
        refused = boxwright(*common, "--coords", "a.gro", "--frame", "3", cwd=self.tmp)
        self.assertEqual((refused.returncode, refused.stderr),
                         (1, "boxwright: a.gro has 2 frames, so frame 3 cannot be read\n"))

    def test_the_atom_style_reads_wrapped_positions(self):
        # dump atom: scaled positions inside the box and no image flags; the atoms outside the
        # box of the file above come in wrapped, the rest as they are.
        path = self.tmp / "atom.dump"
        path.write_text(dump_file([1], "xs ys zs"))
        pack.from_coords([WATER, CO2], [2, 2], path, force_field=FORCE_FIELD, out_dir=self.tmp)
        inside = [[x % EDGE for x in atom] for atom in frame(1)]
        self.assert_positions_near(atoms_of(self.tmp / "data.lmp"), inside, 1e-5)
        self.assertNotEqual(inside, frame(1))  # some atoms were outside

    def test_frame_zero_is_refused_before_any_file_is_read(self):
        raised = self.assert_raises_exactly(
            BuildError, "frame must be a frame number, from 1 at the start or from -1 at the end, "
            "got 0", pack.from_coords, [WATER, CO2], [2, 2], self.tmp / "never.xyz",
            force_field=FORCE_FIELD, out_dir=self.tmp, frame=0)
        self.assertEqual(raised.option, "frame")
        refused = boxwright("from-coords", "--species", WATER, CO2, "--counts", 2, 2,
                            "--coords", "never.xyz", "--frame", 0, cwd=self.tmp)
        self.assertEqual(refused.returncode, 2)
        self.assertTrue(refused.stderr.endswith(
            "error: --frame must be a frame number, from 1 at the start or from -1 at the end, "
            "got 0\n"), refused.stderr)
