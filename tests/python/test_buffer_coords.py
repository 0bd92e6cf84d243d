"""Coordinates given as a numeric (n, 3) buffer, as NumPy arrays give them, of any element type,
byte order or strides, and the buffers that fall back to the rules for sequences."""

import array
import ctypes

from boxwright._native import pack_from_coords_py
from support import FORCE_FIELD, TempDirTestCase, example, lattice_coordinates

MIXTURE = [(example("water.json"), 3), (example("butane.json"), 2)]
ROWS = lattice_coordinates(MIXTURE)


def flat(rows):
    return [x for row in rows for x in row]


def buffer_of(rows, code="d", shape=None):
    """A memoryview of typecode `code` over the numbers of `rows`, of the given shape."""
    shape = shape or [len(rows), len(rows[0])]
    return memoryview(array.array(code, flat(rows))).cast("B").cast(code, shape)


def big_endian_buffer_of(rows, ctype):
    """A ctypes (n, 3) array of the big-endian `ctype`; ctypes gives no strides with it."""
    element = ctype.__ctype_be__
    return ((element * 3) * len(rows))(*[(element * 3)(*row) for row in rows])


class Rows(list):
    """A list of rows that also exports a buffer, as a NumPy array is both; counts its exports."""

    def __init__(self, rows, view):
        super().__init__(rows)
        self.view, self.exports, self.releases = view, 0, 0

    def __buffer__(self, flags):
        self.exports += 1
        return self.view

    def __release_buffer__(self, view):
        self.releases += 1


class BufferCoordsTest(TempDirTestCase):
    def build(self, coords, box_len=30.0, **kwargs):
        species, counts = zip(*MIXTURE)
        out = self.tmp / f"out{len(list(self.tmp.iterdir()))}"
        summary = pack_from_coords_py(list(species), list(counts), coords, box_len,
                                      force_field=FORCE_FIELD, out_dir=str(out), **kwargs)
        files = [(out / name).read_bytes() for name in ("data.lmp", "forcefield.lmp")]
        return [summary.replace(str(out), "<out>")] + files

    def test_same_files_whatever_carries_the_coordinates(self):
        expected = self.build(ROWS)
        whole = [[round(x) for x in row] for row in ROWS]
        # Every export is released; a buffer of another number of dimensions is read as rows.
        cases = [
            ("float64 buffer", buffer_of(ROWS), ROWS, None),
            ("unaligned float64 buffer",  # one byte into its memory
             memoryview(bytearray(1) + array.array("d", flat(ROWS)).tobytes())[1:].cast(
                 "d", [len(ROWS), 3]), ROWS, None),
            ("strided float64 buffer", buffer_of([r for row in ROWS for r in (row, [0] * 3)])[::2],
             ROWS, None),
            ("float32 buffer", Rows(ROWS, buffer_of(ROWS, "f")), ROWS, 1),
            ("big-endian int16 buffer", big_endian_buffer_of(whole, ctypes.c_int16), whole, None),
            ("big-endian float64 buffer", big_endian_buffer_of(ROWS, ctypes.c_double), ROWS, None),
            ("1-D buffer, read as rows", Rows(ROWS, memoryview(array.array("d", flat(ROWS)))),
             ROWS, 1),
        ]
        for name, coords, rows, releases in cases:
            with self.subTest(name):
                self.assertEqual(self.build(coords), expected if rows is ROWS else self.build(rows))
                if releases is not None:
                    self.assertEqual((coords.exports, coords.releases), (1, releases))

    # Buffers of other shapes fall back to the rules for sequences, or are refused: never left
    # unimplemented. An exported buffer is released on every failure.
    def test_other_buffers_follow_the_sequence_rules_or_are_refused(self):
        count_mismatch = "internal error: expected 17 packed atom coordinates, got 0"
        refused = "coords buffer must be numbers of shape (n, 3), not format"
        noted = ["while processing 'coords'"]
        doubles = buffer_of(ROWS[:3])
        cases = [
            ("(n, 2) rows", Rows([[1.0, 2.0]], buffer_of([[1.0, 2.0]])), ValueError,
             "coords[0] has 2 elements; expected [x, y, z]", None),
            ("1-D float64", memoryview(array.array("d", [1.0, 2.0, 3.0])), TypeError,
             "'float' object is not a sequence", noted),
            ("bytes", b"xyz", TypeError, "'int' object is not a sequence", noted),
            ("empty (0, 3)", buffer_of(ROWS)[0:0], RuntimeError, count_mismatch, None),
            ("exported, a row short", Rows(ROWS, buffer_of(ROWS[:-1])), RuntimeError,
             count_mismatch.replace("got 0", "got 16"), None),
            ("three dimensions", doubles.cast("B").cast("d", [3, 3, 1]), TypeError,
             f"{refused} 'd' in 3 dimensions", noted),
            ("characters", doubles.cast("B").cast("c", [9, 8]), TypeError,
             f"{refused} 'c' in 2 dimensions", noted),
            ("booleans", ((ctypes.c_bool * 3) * 3)(), TypeError, f"{refused} '<?' in 2 dimensions",
             noted),
            ("rows that are 2-D views", [doubles] * 3, TypeError,
             "'memoryview' object cannot be read as a sequence", noted),
        ]
        for name, coords, error, message, notes in cases:
            with self.subTest(name), self.assertRaises(error) as raised:
                self.build(coords)
            self.assertIs(type(raised.exception), error)
            self.assertEqual(str(raised.exception), message)
            self.assertEqual(getattr(raised.exception, "__notes__", None), notes)
            self.assertEqual([p for p in self.tmp.rglob("*") if p.is_file()], [])  # none written
            if isinstance(coords, Rows):
                self.assertEqual((coords.exports, coords.releases), (1, 1))
        later = Rows(ROWS, buffer_of(ROWS))  # an argument after the coordinates fails
        self.assertRaises(TypeError, self.build, later, box_len="30")
        self.assertEqual((later.exports, later.releases), (1, 1))

    # Python code run while the arguments convert changes neither the rows nor the positions.
    def test_arguments_are_read_as_given_when_conversion_runs_code(self):
        rows = [list(row) for row in ROWS]
        coords = array.array("d", flat(ROWS))

        class Emptier:
            """A number whose conversion empties the caller's list of rows."""

            def __float__(self):
                rows.clear()
                return ROWS[1][0]

        class Scribbler:
            def __float__(self):
                coords[0] = 99.0
                return 30.0

        rows[1][0] = Emptier()
        expected = self.build(ROWS)
        self.assertEqual(self.build(rows), expected)
        self.assertEqual(self.build(memoryview(coords).cast("B").cast("d", [len(ROWS), 3]),
                                    box_len=Scribbler()), expected)
