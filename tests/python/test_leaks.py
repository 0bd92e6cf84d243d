"""Repeated calls on success and failure paths leave the process's memory flat. Python's own
allocator shows leaked objects block by block; resident memory shows leaks on the C++ side."""

import contextlib
import gc
import os
import sys

from boxwright._engine import build_from_coords
from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import FORCE_FIELD, TempDirTestCase, example

CO2, METHANE = example("co2.json"), example("methane.json")
ROWS = [[2.0, 1.0, 2.0], [3.16, 1.0, 2.0], [0.84, 1.0, 2.0]]  # a CO2 in its file's order
REPEATS, WARM_UP = 5000, 2000  # warm up until the interpreter's caches have settled
PACKMOL_REPEATS, PACKMOL_WARM_UP = 200, 50
WRITING_REPEATS, WRITING_WARM_UP = 1000, 300  # three files per call
MAX_BLOCK_GROWTH = 100  # far below one leaked object per call
MAX_RESIDENT_GROWTH = 1 << 20


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class LeakTest(TempDirTestCase):
    def assert_flat(self, call, repeats, warm_up):
        """A leak grows memory in every window; a one-off allocation by the interpreter or the C
        library (a cache filling, an arena growing under a busy machine) shows in one at most."""
        for _ in range(warm_up):
            call()
        growths = []
        for _window in range(3):
            gc.collect()
            # Reading the resident size allocates Python objects of its own, so it stays outside
            # the span in which blocks are counted.
            resident, blocks = resident_bytes(), sys.getallocatedblocks()
            for _ in range(repeats):
                call()
            gc.collect()
            growths.append((sys.getallocatedblocks() - blocks, resident_bytes() - resident))
            if growths[-1][0] < MAX_BLOCK_GROWTH and growths[-1][1] < MAX_RESIDENT_GROWTH:
                return
        self.fail(f"memory grew in every window (blocks, resident bytes): {growths}")

    def test_both_entries_on_success_and_failure(self):
        ff, out, P = FORCE_FIELD, str(self.tmp), PyPairSetup
        xyz = self.tmp / "co2.xyz"
        xyz.write_text("3\n\n" + "".join(f"{name} {x} {y} {z}\n" for name, (x, y, z)
                                           in zip(("C_co2", "O_co2", "O_co2"), ROWS)))
        cases = [  # the error expected, or None; the call's arguments
            (None, pack_from_coords_py, [CO2], [1], ROWS, 10.0, P.Tip4p, True, ff, out),
            (TypeError, pack_from_coords_py, [CO2], [1], ROWS),  # binding
            (OverflowError, pack_from_coords_py, [CO2], [-1], ROWS, 10.0),  # conversion
            (TypeError, pack_from_coords_py, [CO2], [1], ["abc"], 10.0),  # a str as a list
            (ValueError, pack_from_coords_py, [CO2], [1], [[1, 2]], 10.0),  # shape
            (RuntimeError, pack_from_coords_py, [CO2], [1], ROWS[:2], 10.0, None, False, ff, out),
            (TypeError, pack_packmol_py, [METHANE]),  # binding
            (TypeError, pack_packmol_py, [METHANE], [1], "dense"),  # conversion
            (RuntimeError, pack_packmol_py, [METHANE], [3], 0.0, P.LjCut, False, ff, out),
            (None, pack_packmol_py, [METHANE], [3], 1000.0, P.LjCut, False, ff, out),
            # The report as a dict, with in.lmp written.
            (None, build_from_coords, [CO2], [1], ROWS, 10.0, {"force_field": ff, "out_dir": out}),
            (ValueError, build_from_coords, [CO2], [1], ROWS, 10.0, {"pair_style": 7}),
            (RuntimeError, build_from_coords, [CO2], [1], ROWS[::-1], 10.0),  # bonds misfit
            # A coordinate file read natively, and one refused by its count.
            (None, build_from_coords, [CO2], [1], str(xyz), 10.0,
             {"force_field": ff, "out_dir": out}),
            (RuntimeError, build_from_coords, [CO2], [2], str(xyz), 10.0, {"force_field": ff}),
        ]
        for error, function, *args in cases:
            keywords = args.pop() if isinstance(args[-1], dict) else {}

            def call():
                with contextlib.suppress(error or ()):
                    function(*args, **keywords)
                    assert error is None, f"{function.__name__} did not raise {error.__name__}"

            with self.subTest(function.__name__, error=error, args=args):
                if function is pack_packmol_py and error is None:  # each call starts packmol
                    self.assert_flat(call, PACKMOL_REPEATS, PACKMOL_WARM_UP)
                elif function is build_from_coords and error is None:
                    self.assert_flat(call, WRITING_REPEATS, WRITING_WARM_UP)
                else:
                    self.assert_flat(call, REPEATS, WARM_UP)
