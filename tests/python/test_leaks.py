"""Repeated calls on success and failure paths leave the process's memory flat. Python's own
allocator shows leaked objects block by block; resident memory shows leaks on the C++ side."""

import gc
import sys
import unittest

from boxwright._native import PyPairSetup, pack_from_coords_py, pack_packmol_py
from support import TempDirTestCase, resident_bytes

REPEATS, WARM_UP = 5000, 2000  # warm up until the interpreter's caches have settled
PACKMOL_REPEATS, PACKMOL_WARM_UP = 200, 50  # each call starts a packmol process
MAX_BLOCK_GROWTH = 100  # far below one leaked object per call
MAX_RESIDENT_GROWTH = 1 << 20


def raising(error, function, *args, **kwargs):
    def call():
        try:
            function(*args, **kwargs)
        except error:
            return
        raise AssertionError(f"{function.__name__} did not raise {error.__name__}")

    return call


class LeakTest(TempDirTestCase):
    def assert_flat(self, call, repeats=REPEATS, warm_up=WARM_UP, windows=3):
        """A leak grows memory in every window; a one-off allocation by the interpreter or the C
        library (a cache filling, an arena growing under a busy machine) shows in one at most."""
        for _ in range(warm_up):
            call()
        growths = []
        for _ in range(windows):
            growth = self.growth_over(call, repeats)
            if growth[0] < MAX_BLOCK_GROWTH and growth[1] < MAX_RESIDENT_GROWTH:
                return
            growths.append(growth)
        self.fail(f"memory grew in every window (blocks, resident bytes): {growths}")

    @staticmethod
    def growth_over(call, repeats):
        gc.collect()
        # Reading the resident size allocates Python objects of its own, so it stays outside the
        # window in which blocks are counted.
        resident = resident_bytes()
        blocks = sys.getallocatedblocks()
        for _ in range(repeats):
            call()
        gc.collect()
        return sys.getallocatedblocks() - blocks, resident_bytes() - resident

    def test_coordinates_entry(self):
        paths = self.fixture()
        tri, ff, out = paths["tri"], paths["force_field"], str(self.tmp / "out")
        rows = [[0.5 * i, 1.0, 2.0] for i in range(3)]
        calls = {
            "success": lambda: pack_from_coords_py([tri], [1], rows, 10.0, PyPairSetup.Tip4p, True,
                                                   ff, out),
            "binding": raising(TypeError, pack_from_coords_py, [tri], [1], rows),
            "conversion": raising(OverflowError, pack_from_coords_py, [tri], [-1], rows, 10.0),
            "str as list": raising(TypeError, pack_from_coords_py, [tri], [1], ["abc"], 10.0),
            "shape": raising(ValueError, pack_from_coords_py, [tri], [1], [[1, 2]], 10.0),
            "build": raising(RuntimeError, pack_from_coords_py, [tri], [1], rows[:2], 10.0,
                             force_field=ff, out_dir=out),
        }
        for name, call in calls.items():
            with self.subTest(name):
                self.assert_flat(call)

    def test_packmol_entry(self):
        paths = self.fixture()
        argon, ff, out = paths["argon"], paths["force_field"], str(self.tmp / "out")
        calls = {
            "binding": raising(TypeError, pack_packmol_py, [argon]),
            "conversion": raising(TypeError, pack_packmol_py, [argon], [1], "dense"),
            "build": raising(RuntimeError, pack_packmol_py, [argon], [3], 0.0, force_field=ff,
                             out_dir=out),
        }
        for name, call in calls.items():
            with self.subTest(name):
                self.assert_flat(call)
        with self.subTest("success"):
            self.assert_flat(lambda: pack_packmol_py([argon], [3], 1000.0, force_field=ff,
                                                     out_dir=out),
                             PACKMOL_REPEATS, PACKMOL_WARM_UP)


if __name__ == "__main__":
    unittest.main()
