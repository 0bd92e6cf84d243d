"""How soon Ctrl-C ends a long from-coords build: the command line, `python -m boxwright
from-coords`, on N rigid waters (3N atoms) in an XYZ file, is sent SIGINT at given times after its
start; each row gives how long the process took to exit after the signal, its exit status, and
whether the data.lmp of an earlier build was kept. The first row is the whole build, uninterrupted.

Run from the root of the repository after a Release build:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/interrupt_bench.py \
        [--waters 1000000] [--after 0.5 1 3]

Standard library only.
"""

import argparse
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
EARLIER = "data of an earlier build\n"


def write_waters(path, waters):
    """Waters on a lattice 3 Å apart, 100 to a row, as an XYZ file."""
    with open(path, "w", encoding="utf-8") as out:
        out.write(f"{3 * waters}\nwaters on a lattice\n")
        for i in range(waters):
            x, y, z = (i % 100) * 3.0, (i // 100 % 100) * 3.0, (i // 10000) * 3.0
            out.write(f"Ow {x:.3f} {y:.3f} {z:.3f}\n"
                      f"Hw {x + 0.7569503:.3f} {y + 0.5858823:.3f} {z:.3f}\n"
                      f"Hw {x - 0.7569503:.3f} {y + 0.5858823:.3f} {z:.3f}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--waters", type=int, default=1000000)
    parser.add_argument("--after", type=float, nargs="+", default=[0.5, 1.0, 3.0])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        write_waters(work / "waters.xyz", args.waters)
        out = work / "out"
        out.mkdir()
        edge = 3.0 * max(100, -(-args.waters // 10000))  # the lattice's longest side
        command = [sys.executable, "-m", "boxwright", "from-coords", "--species",
                   str(ROOT / "examples" / "water.json"), "--counts", str(args.waters),
                   "--coords", str(work / "waters.xyz"), "--box-length", str(edge),
                   "--force-field", str(ROOT / "examples" / "force_field.json"),
                   "--out-dir", str(out), "--no-check-bonds"]
        started = time.monotonic()
        subprocess.run(command, capture_output=True, check=True)
        print(f"whole build: {time.monotonic() - started:.2f} s")
        print("SIGINT after s | exit after the signal, s | status | earlier data.lmp kept")
        for after in args.after:
            (out / "data.lmp").write_text(EARLIER, encoding="utf-8")
            build = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            time.sleep(after)
            signalled = time.monotonic()
            build.send_signal(signal.SIGINT)
            build.communicate()
            kept = (out / "data.lmp").read_text(encoding="utf-8") == EARLIER
            print(f"{after:13.2f} | {time.monotonic() - signalled:26.2f} | {build.returncode:6d} | "
                  f"{kept}")


if __name__ == "__main__":
    main()
