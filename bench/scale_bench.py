"""How pack_from_coords_py scales: water + n-butane systems of 10^4, 10^5 and 10^6 atoms on a
lattice (no packing), built from a list of [x, y, z] lists and from a float64 (n, 3) buffer, next
to write_lammps_outputs alone and the formatting-and-write floor (build/coords_scale_bench); and
the command line, `python -m boxwright from-coords`, on the same system in an XYZ and a PDB file
(the box from the file's Lattice and CRYST1), beside the package's own buffer call,
`boxwright.pack.from_coords`, which does the same work (in.lmp and the build report as well).

Every measured call runs in a fresh process, which reports its wall-clock and processor time and
the growth of its peak resident memory during the call, beyond the data the caller already holds.
A command-line run is measured from outside as a whole process: wall-clock time from start to
exit and its peak resident memory, next to the whole peak of the process making the buffer call.
The tables give medians over the repetitions; the targets for 10^6 atoms follow them.

Run from the root of the repository after a Release build:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/scale_bench.py [--repeats 5]

Standard library only.
"""

import argparse
import array
import gc
import hashlib
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
SIZES = (10_000, 100_000, 1_000_000)
SPACING = 6.0  # Å between molecule sites, as in coords_scale_bench
KINDS = ("list", "buffer", "write", "floor", "package", "cli-xyz", "cli-pdb")
NATIVE_KINDS = ("list", "buffer", "write", "floor")
COORDINATE_FILES = {"cli-xyz": "system.xyz", "cli-pdb": "system.pdb"}

# Targets at the largest size.
BUFFER_SECONDS = 0.6
LIST_OVER_BUFFER = 1.3
PEAK_OVER_FILES = 1.5
TEN_TIMES_ATOMS_RATIO = 11
CLI_OVER_BUFFER_SECONDS = 2.5
CLI_OVER_BUFFER_PROCESS_PEAK = 1.3


# --- the system -----------------------------------------------------------------------------

def system(atoms):
    """Species paths, counts, box edge and a generator of positions for `atoms` atoms."""
    waters = 4 * (atoms // 24)
    counts = [waters, (atoms - 3 * waters) // 4]
    species = [str(EXAMPLES / "water.json"), str(EXAMPLES / "butane.json")]
    side = 1
    while side ** 3 < sum(counts):
        side += 1

    def positions():
        site = 0
        for path, count in zip(species, counts):
            with open(path, encoding="utf-8") as file:
                reference = [p for _, p in json.load(file)["pseudoAtoms"]]
            for _ in range(count):
                x = SPACING * (site % side)
                y = SPACING * (site // side % side)
                z = SPACING * (site // side // side)
                for px, py, pz in reference:
                    yield x + px, y + py, z + pz
                site += 1

    return species, counts, SPACING * side, positions


def pseudo_atom_names(species, counts):
    for path, count in zip(species, counts):
        with open(path, encoding="utf-8") as file:
            names = [name for name, _ in json.load(file)["pseudoAtoms"]]
        for _ in range(count):
            yield from names


def write_coordinate_files(atoms, scratch):
    """The system as an XYZ file (shortest round-trip digits, so the build equals the buffer
    call's) and as a PDB file (three decimals), each stating the cubic box."""
    species, counts, box, positions = system(atoms)
    named = zip(pseudo_atom_names(species, counts), positions())
    with open(os.path.join(scratch, COORDINATE_FILES["cli-xyz"]), "w", encoding="ascii") as xyz, \
         open(os.path.join(scratch, COORDINATE_FILES["cli-pdb"]), "w", encoding="ascii") as pdb:
        xyz.write(f'{atoms}\nLattice="{box!r} 0 0 0 {box!r} 0 0 0 {box!r}"\n')
        pdb.write(f"CRYST1{box:9.3f}{box:9.3f}{box:9.3f}{90:7.2f}{90:7.2f}{90:7.2f} P 1\n")
        for serial, (name, (x, y, z)) in enumerate(named, start=1):
            xyz.write(f"{name} {x!r} {y!r} {z!r}\n")
            pdb.write(f"HETATM{serial % 100000:5d} {name[:4]:<4} MOL     1    "
                      f"{x:8.3f}{y:8.3f}{z:8.3f}  1.00  0.00\n")
        pdb.write("END\n")


# --- one measured call, in a child process --------------------------------------------------

def resident():
    """(VmRSS, VmHWM) of this process in bytes."""
    values = {}
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0]) * 1024
    return values["VmRSS"], values["VmHWM"]


def reset_peak():
    with open("/proc/self/clear_refs", "w", encoding="ascii") as clear_refs:
        clear_refs.write("5")


def measure_python_call(kind, atoms, out_dir):
    from boxwright import pack
    from boxwright._native import pack_from_coords_py

    species, counts, box, positions = system(atoms)
    if kind == "list":
        coords = [list(p) for p in positions()]
    else:
        coords = memoryview(array.array("d", (x for p in positions() for x in p)))
        coords = coords.cast("B").cast("d", [atoms, 3])
    gc.collect()
    reset_peak()
    before, _ = resident()
    wall, cpu = time.perf_counter(), time.process_time()
    build = pack.from_coords if kind == "package" else pack_from_coords_py
    build(species, counts, coords, box, force_field=str(EXAMPLES / "force_field.json"),
          out_dir=out_dir)
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    _, peak = resident()
    files = sum(os.path.getsize(os.path.join(out_dir, f)) for f in ("data.lmp", "forcefield.lmp"))
    print(json.dumps({"seconds": wall, "cpu_seconds": cpu, "peak_bytes": max(peak - before, 0),
                      "process_peak_bytes": peak, "file_bytes": files}))


def measure_command_line(kind, atoms, out_dir, scratch):
    """The whole `python -m boxwright from-coords` process, as a user runs it."""
    species, counts, _, _ = system(atoms)
    command = [sys.executable, "-m", "boxwright", "from-coords", "--species", *species,
               "--counts", *map(str, counts), "--coords",
               os.path.join(scratch, COORDINATE_FILES[kind]),
               "--force-field", str(EXAMPLES / "force_field.json"), "--out-dir", out_dir]
    wall = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - wall
    child.returncode = os.waitstatus_to_exitcode(status)
    stderr = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    # The examples' water is rigid: its placeholder warnings are all the command line may say.
    if child.returncode != 0 or any(not line.startswith("warning: ")
                                    for line in stderr.splitlines()):
        sys.exit(f"{' '.join(command)} failed:\n{stderr}")
    return {"seconds": wall, "cpu_seconds": usage.ru_utime + usage.ru_stime,
            "peak_bytes": usage.ru_maxrss * 1024, "process_peak_bytes": usage.ru_maxrss * 1024}


# --- the driver -----------------------------------------------------------------------------

def run_call(kind, atoms, out_dir, bench_binary, file_bytes, scratch):
    if kind in COORDINATE_FILES:
        return measure_command_line(kind, atoms, out_dir, scratch)
    if kind in ("list", "buffer", "package"):
        command = [sys.executable, __file__, "--child", kind, str(atoms), out_dir]
    elif kind == "write":
        command = [bench_binary, "write", str(atoms), str(EXAMPLES), out_dir]
    else:
        command = [bench_binary, "floor", str(atoms), str(EXAMPLES), out_dir, str(file_bytes)]
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stderr}")
    return json.loads(done.stdout.splitlines()[-1])


def data_digest(out_dir):
    with open(os.path.join(out_dir, "data.lmp"), "rb") as file:
        return hashlib.file_digest(file, "sha256").hexdigest()


def measure_size(atoms, repeats, bench_binary, scratch):
    """Median figures per kind. The repetitions interleave the kinds, each starting at another
    kind, so load drift hits all; every call starts with the previous call's file on disk, not
    still being written back by the kernel meanwhile."""
    runs = {kind: [] for kind in KINDS}
    digests = {}
    write_coordinate_files(atoms, scratch)
    for repeat in range(repeats):
        for kind in KINDS[repeat % len(KINDS):] + KINDS[:repeat % len(KINDS)]:
            out_dir = os.path.join(scratch, kind)
            # The first repetition runs the kinds in order, so "write" has run before "floor".
            file_bytes = runs["write"][0]["file_bytes"] if kind == "floor" else None
            os.sync()
            runs[kind].append(run_call(kind, atoms, out_dir, bench_binary, file_bytes, scratch))
            # The PDB file holds three decimals, so only its reading differs from the others.
            if repeat == 0 and kind not in ("floor", "cli-pdb"):
                digests[kind] = data_digest(out_dir)
    for kind in KINDS:
        shutil.rmtree(os.path.join(scratch, kind), ignore_errors=True)
    if len(set(digests.values())) != 1:
        sys.exit(f"data.lmp differs between {', '.join(digests)} at {atoms} atoms")
    return {kind: {key: statistics.median(run[key] for run in runs[kind]) for key in runs[kind][0]}
            for kind in KINDS}


def print_table(results):
    mb = 1e6
    calls = NATIVE_KINDS
    print(f"{'atoms':>9} | {'wall s (cpu s), median':^63} | {'peak MB beyond caller data':^31} | "
          f"{'files':>6}")
    print(f"{'':>9} | {'list':>15} {'buffer':>15} {'write alone':>15} {'floor':>15} | "
          f"{'list':>7} {'buffer':>7} {'write':>7} {'floor':>7} | {'MB':>6}")
    for atoms, r in results.items():
        times = " ".join(f"{r[k]['seconds']:7.3f} ({r[k]['cpu_seconds']:5.3f})" for k in calls)
        peaks = " ".join(f"{r[k]['peak_bytes'] / mb:7.1f}" for k in calls)
        print(f"{atoms:>9} | {times} | {peaks} | {r['write']['file_bytes'] / mb:6.1f}")

    # The command line against the package's buffer call (the same files and report), and the
    # native buffer call beside them.
    shown = ("buffer", "package", *COORDINATE_FILES)
    print(f"\n{'atoms':>9} | {'wall s, in process vs whole CLI process':^49} | "
          f"{'process peak MB':^49}")
    header = (f"{'native':>7} {'package':>7} {'cli xyz':>7} {'cli pdb':>7} {'xyz/pkg':>8} "
              f"{'pdb/pkg':>8}")
    print(f"{'':>9} | {header} | {header}")
    for atoms, r in results.items():
        row = []
        for key, digits, scale in (("seconds", 3, 1), ("process_peak_bytes", 1, mb)):
            base = r["package"][key]
            row.append(" ".join([*(f"{r[k][key] / scale:7.{digits}f}" for k in shown),
                                 *(f"{r[k][key] / base:8.2f}" for k in COORDINATE_FILES)]))
        print(f"{atoms:>9} | {row[0]} | {row[1]}")


def print_targets(results):
    big, smaller = results[SIZES[-1]], results.get(SIZES[-1] // 10)
    buffer, listed = big["buffer"]["seconds"], big["list"]["seconds"]
    files = big["write"]["file_bytes"]
    checks = [
        (f"from a buffer: {buffer:.3f} s", buffer <= BUFFER_SECONDS, f"<= {BUFFER_SECONDS} s"),
        (f"list / buffer: {listed / buffer:.2f}", listed <= LIST_OVER_BUFFER * buffer,
         f"<= {LIST_OVER_BUFFER}"),
    ]
    for kind in ("list", "buffer"):
        ratio = big[kind]["peak_bytes"] / files
        checks.append((f"peak memory / files written, {kind}: {ratio:.2f}",
                       ratio <= PEAK_OVER_FILES, f"<= {PEAK_OVER_FILES}"))
    if smaller:
        for kind in ("list", "buffer"):
            ratio = big[kind]["seconds"] / smaller[kind]["seconds"]
            checks.append((f"time at {SIZES[-1]} / {SIZES[-1] // 10} atoms, {kind}: {ratio:.1f}",
                           ratio <= TEN_TIMES_ATOMS_RATIO, f"<= {TEN_TIMES_ATOMS_RATIO}"))
    package = big["package"]
    for kind in COORDINATE_FILES:
        ratio = big[kind]["seconds"] / package["seconds"]
        checks.append((f"{kind} wall / package buffer call: {ratio:.2f}",
                       ratio <= CLI_OVER_BUFFER_SECONDS, f"<= {CLI_OVER_BUFFER_SECONDS}"))
        ratio = big[kind]["process_peak_bytes"] / package["process_peak_bytes"]
        checks.append((f"{kind} peak / package call's process: {ratio:.2f}",
                       ratio <= CLI_OVER_BUFFER_PROCESS_PEAK, f"<= {CLI_OVER_BUFFER_PROCESS_PEAK}"))
    print(f"\ntargets at {SIZES[-1]} atoms:")
    for text, met, bound in checks:
        print(f"  {text:<48} {bound:<9} {'met' if met else 'MISSED'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=5, help="calls per kind and size (5)")
    parser.add_argument("--build", default=str(ROOT / "build"), help="the CMake build directory")
    parser.add_argument("--child", nargs=3, metavar=("KIND", "ATOMS", "OUT_DIR"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        kind, atoms, out_dir = args.child
        measure_python_call(kind, int(atoms), out_dir)
        return
    bench_binary = os.path.join(args.build, "coords_scale_bench")
    if not os.access(bench_binary, os.X_OK):
        sys.exit(f"{bench_binary} not found: build the repository first")

    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}, "
          f"{os.cpu_count()} cores, {args.repeats} repetitions, one process per call")
    results = {}
    with tempfile.TemporaryDirectory(prefix="scale_bench") as scratch:
        for atoms in SIZES:
            results[atoms] = measure_size(atoms, args.repeats, bench_binary, scratch)
    print(f"load average after:  {' '.join(f'{x:.2f}' for x in os.getloadavg())}\n")
    print_table(results)
    print_targets(results)


if __name__ == "__main__":
    main()
