"""One physical check of in.lmp with the real LAMMPS: TIP4P/2005 water packed too thin moves
toward its liquid density (997 kg/m³ at 298 K and 1 atm) under the script's NPT run."""

from boxwright import pack
from boxwright.pack import PyPairSetup
from support import FORCE_FIELD, TempDirTestCase, example, needs_lammps
from test_gallery import production_rows
from test_lammps_runs import run_in_lmp


@needs_lammps
class WaterDensity(TempDirTestCase):
    def test_npt_water_moves_toward_its_liquid_density(self):
        report = pack.packmol([example("water.json")], [128], 800.0,
                              pair_style=PyPairSetup.Tip4p, force_field=FORCE_FIELD,
                              out_dir=self.tmp)
        # 3.2 ps at 2 fs (SHAKE holds the water) of the start, the hand-over and the production:
        # long enough for the barostats to take the box most of the way, short enough for CI.
        screen = run_in_lmp(self.tmp, {"start_steps": 200, "handover_steps": 400, "steps": 1000,
                                       "timestep": 2.0})
        final = production_rows(screen)[-1][3] * 1000  # g/cm³ to kg/m³
        self.assertAlmostEqual(report.density, 800.0, places=6)
        self.assertTrue(900 < final < 1100, f"density {final:.1f} kg/m³ after the NPT run")
