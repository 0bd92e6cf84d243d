"""Packs a water, carbon dioxide and butane mixture from examples/ with Packmol through
boxwright._native and writes data.lmp and forcefield.lmp into out/demo/ (or the given directory).

Run with PYTHONPATH pointing at the built package, as `make demo` does."""

import os
import pathlib
import sys

from boxwright._native import PyPairSetup, pack_packmol_py

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
MIXTURE = {"water.json": 200, "co2.json": 40, "butane.json": 20}
DENSITY = 800.0  # kg/m³


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.relpath(ROOT / "out" / "demo")
    try:
        summary = pack_packmol_py(
            [str(EXAMPLES / name) for name in MIXTURE], list(MIXTURE.values()), DENSITY,
            pair_style=PyPairSetup.LjCutCoulLong, force_field=str(EXAMPLES / "force_field.json"),
            out_dir=out_dir)
    except RuntimeError as failure:
        sys.exit(f"demo failed: {failure}")
    print(summary, end="")


if __name__ == "__main__":
    main()
