"""Packing a box split into sub-boxes, one Packmol each, run side by side: through
boxwright.pack.packmol(jobs=...) and the command line, with the real Packmol and with stand-ins."""

import os
import shutil
import time
from unittest import mock

from boxwright import BuildError, pack
from support import FORCE_FIELD, TempDirTestCase, boxwright, example, stand_in_packmol

WATER, BUTANE = example("water.json"), example("butane.json")


class Stop(Exception):
    """Raised by a progress callback that wants the packing to end."""


class SplitPackingTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.tmpdir = self.tmp / "tmpdir"
        self.tmpdir.mkdir()
        self.enterContext(mock.patch.dict(os.environ, {"TMPDIR": str(self.tmpdir)}))

    def build(self, out, **options):
        return pack.packmol([WATER, BUTANE], [120, 24], 600.0, force_field=FORCE_FIELD,
                            out_dir=self.tmp / out, input_script=False, **options)

    def stand_in_packmol(self, script):
        self.enterContext(mock.patch.dict(os.environ, {"PATH": stand_in_packmol(self.tmp, script)}))

    def assert_nothing_left(self, out):
        self.assertFalse((self.tmp / out).exists())
        self.assertEqual(list(self.tmpdir.iterdir()), [])

    def test_the_report_says_how_the_box_was_packed_and_the_files_follow_the_seed(self):
        events = []
        report = self.build("two", jobs=2, subboxes=(2, 1, 1), progress=events.append)
        self.assertEqual((report.subboxes, report.jobs), ((2, 1, 1), 2))
        self.assertIn("\npacking: 2x1x1 sub-boxes, 2 Packmol processes at a time; closest atoms "
                      f"of different molecules {report.min_distance:.3f} Å\n", str(report))
        self.assertEqual([(e.done, e.total) for e in events], [(1, 2), (2, 2)])

        # Ten thousand jobs asked for: one per sub-box, and the report says so.
        many = self.build("many", jobs=10000, subboxes=(2, 1, 1))
        self.assertIn(("packing-jobs", "note", "jobs 10000: 2 Packmol processes at a time, at most "
                       "one per sub-box with molecules (2) and 4 per core"),
                      [(d.kind, d.level, d.text) for d in many.diagnostics])
        self.build("one", jobs=1, subboxes=(2, 1, 1))
        self.build("reseeded", jobs=1, subboxes=(2, 1, 1), seed=2)
        data = {out: (self.tmp / out / "data.lmp").read_bytes()
                for out in ("one", "two", "reseeded")}
        self.assertEqual(data["one"], data["two"])
        self.assertNotEqual(data["one"], data["reseeded"])

    # Mistakes of the arguments themselves are in test_arguments.
    def test_requests_that_cannot_work_fail_before_anything_starts(self):
        cases = [
            (dict(jobs=-1), "jobs must be 0 (one per core) or a positive number, got -1"),
            (dict(seed=3), "seed and subboxes apply to a box split into sub-boxes: give jobs too"),
            (dict(timeout=0), "timeout must be a positive number of seconds, got 0"),
        ]
        for options, message in cases:
            with self.subTest(options):
                with self.assertRaises(BuildError) as caught:
                    self.build("never", **options)
                self.assertEqual(str(caught.exception), message)
                self.assert_nothing_left("never")

    def test_a_callback_that_raises_stops_the_packing(self):
        def refuse(progress):
            raise Stop(progress.done)

        with self.assertRaises(Stop):
            self.build("never", jobs=1, subboxes=(2, 1, 1), progress=refuse)
        self.assert_nothing_left("never")

    # The split box's limit is proved below, with a callback that blocks.
    def test_the_time_limit_stops_packmol(self):
        self.stand_in_packmol("exec sleep 30\n")
        with self.assertRaises(BuildError) as caught:
            self.build("never", timeout=0.3)
        self.assertEqual(str(caught.exception), "packing stopped: the time limit of 0.3 s was "
                         "spent with 0 of 1 Packmol runs finished")
        self.assert_nothing_left("never")

    # The callback holds the thread that watches the time: the limit holds all the same, and
    # every Packmol is stopped while the callback still sleeps.
    def test_a_callback_that_blocks_does_not_suspend_the_time_limit(self):
        real = shutil.which("packmol")
        self.stand_in_packmol(f'case "$PWD" in */subbox_0) exec "{real}";; esac\nexec sleep 30\n')
        with self.assertRaises(BuildError) as caught:
            self.build("never", jobs=2, subboxes=(2, 1, 1), timeout=0.5,
                       progress=lambda progress: time.sleep(2))
        self.assertEqual(str(caught.exception), "packing stopped: the time limit of 0.5 s was "
                         "spent with 1 of 2 Packmol runs finished")
        self.assert_nothing_left("never")


class SplitPackingCommandLineTest(TempDirTestCase):
    def test_progress_goes_to_standard_error_one_line_per_run(self):
        done = boxwright("pack", "--species", WATER, "--counts", "60", "--density", "600",
                         "--force-field", FORCE_FIELD, "--out-dir", self.tmp, "--no-input",
                         "--jobs", "2", "--subboxes", "2,1,1", "--seed", "5", "--timeout", "60")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = [line for line in done.stderr.splitlines() if not line.startswith("warning: ")]
        self.assertEqual([line.split(",")[0] for line in lines],
                         ["packing: 1 of 2 Packmol runs done", "packing: 2 of 2 Packmol runs done"])
        self.assertIn("\npacking: 2x1x1 sub-boxes, 2 Packmol processes at a time; closest atoms",
                      done.stdout)
        self.assertTrue((self.tmp / "data.lmp").exists())
