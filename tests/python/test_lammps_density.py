"""One physical check of in.lmp with the real LAMMPS: TIP4P/2005 water packed too thin moves
toward its liquid density (997 kg/m³ at 298 K and 1 atm) under the script's NPT run."""

from boxwright import pack
from boxwright.pack import PyPairSetup
from support import FORCE_FIELD, TempDirTestCase, example, needs_lammps
from test_lammps_runs import run_in_lmp


@needs_lammps
class WaterDensity(TempDirTestCase):
    def test_npt_water_moves_toward_its_liquid_density(self):
        report = pack.packmol([example("water.json")], [128], 800.0,
                              pair_style=PyPairSetup.Tip4p, force_field=FORCE_FIELD,
                              out_dir=self.tmp)
        # 1.6 ps at 2 fs (SHAKE holds the water): long enough for the barostat to take the box
        # most of the way, short enough for CI.
        start, steps = 200, 800
        screen = run_in_lmp(self.tmp, {"start_steps": start, "steps": steps, "timestep": 2.0})
        # The thermo row of the last step: step temp press density pe ke etotal.
        last = [line.split() for line in screen.splitlines()
                if line.split()[:1] == [str(start + steps)] and len(line.split()) == 7][-1]
        final = float(last[3]) * 1000  # g/cm³ to kg/m³
        self.assertAlmostEqual(report.density, 800.0, places=6)
        self.assertTrue(900 < final < 1100, f"density {final:.1f} kg/m³ after the NPT run")
