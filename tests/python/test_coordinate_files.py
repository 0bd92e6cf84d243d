"""A system equilibrated in LAMMPS and saved with write_data is rebuilt from that file: every atom
where LAMMPS has it, unwrapped, in a box moved to the origin."""

import subprocess

from boxwright import pack
from support import FORCE_FIELD, LMP, TempDirTestCase, example, needs_lammps

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


def atoms_of(data_lmp):
    """(x, y, z) of each Atoms line of one of our data files, in order."""
    lines = data_lmp.read_text().splitlines()
    start = lines.index("Atoms") + 2
    rows = []
    for line in lines[start:]:
        if not line:
            break
        rows.append(tuple(map(float, line.split()[4:7])))
    return rows


@needs_lammps
class LammpsDataFileTest(TempDirTestCase):
    def test_write_data_output_rebuilds_the_system(self):
        packed = self.tmp / "packed"
        pack.packmol(SPECIES, COUNTS, 200.0, force_field=FORCE_FIELD, out_dir=packed)
        (packed / "run.lmp").write_text(RUN)
        subprocess.run([LMP, "-in", "run.lmp", "-log", "none", "-screen", "none", "-nocite"],
                       cwd=packed, check=True, timeout=300)
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
        rebuilt = atoms_of(self.tmp / "rebuilt" / "data.lmp")
        self.assertEqual(len(rebuilt), len(expected))
        crossed = 0
        for atom, (ours, theirs) in enumerate(zip(rebuilt, expected), start=1):
            crossed += any(not 0 <= v <= high[0] - low[0] for v in theirs)
            for a, b in zip(ours, theirs):
                # data.lmp keeps seven significant digits
                self.assertAlmostEqual(a, b, delta=5e-7 * max(abs(b), 1), msg=f"atom {atom}")
        self.assertGreater(crossed, 0, "no molecule crossed a face of the box")
