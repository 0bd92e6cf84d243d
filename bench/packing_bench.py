"""Packing on every core: one Packmol run over the whole box against the box split into sub-boxes
packed by 1 and by 2 Packmol processes at a time (`boxwright.pack.packmol` with jobs=None, 1, 2).

For each system the three builds run one after another, each in a fresh process. The table gives
the wall-clock time and its ratio to the single run, the closest approach of atoms of different
molecules under periodic boundaries (from the build report), the peak resident memory of the
building process beyond what it held before the call, and the peak of the largest Packmol. From
the one-job run, which packs the sub-boxes one after another, it also estimates on paper the wall
time on 16 cores: the sub-boxes' own times dealt out in order to 16 workers, plus what the build
spends outside Packmol.

Run from the root of the repository after a Release build, on a quiet machine:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/packing_bench.py \\
        [--systems water-30k mix-30k water-100k] [--scale 1.0]

--scale multiplies every molecule count (0.1 checks that the benchmark works in a minute).
Standard library only.
"""

import argparse
import json
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
TOLERANCE = 2.0  # Å, the default
CASES = {"single run": None, "1 job": 1, "2 jobs": 2}
CORES_ON_PAPER = 16

# name: ([(species file, count)], density kg/m³, {case: largest ratio of its wall time to the
# single run's})
SYSTEMS = {
    "water-30k": ([("water.json", 30_000)], 1000.0, {"1 job": 0.9, "2 jobs": 0.45}),
    # Water (about 30 Å³ a molecule) and n-butane (about 160 Å³) mixed ideally.
    "mix-30k": ([("water.json", 15_000), ("butane.json", 15_000)], 650.0, {"2 jobs": 0.45}),
    "water-100k": ([("water.json", 100_000)], 1000.0, {"2 jobs": 0.35}),
}


# --- one measured build, in a child process --------------------------------------------------

def peak_resident():
    """VmHWM of this process in bytes."""
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return 0


def measure_build(system, scale, jobs, out_dir):
    from boxwright import pack

    species, density, _ = SYSTEMS[system]
    paths = [str(EXAMPLES / name) for name, _ in species]
    counts = [max(1, round(count * scale)) for _, count in species]
    finished = []  # seconds since the start at which each Packmol run finished
    with open("/proc/self/clear_refs", "w", encoding="ascii") as clear_refs:
        clear_refs.write("5")  # restart the peak from what the process holds now
    before = peak_resident()
    started = time.perf_counter()
    report = pack.packmol(paths, counts, density, force_field=str(EXAMPLES / "force_field.json"),
                          out_dir=out_dir, tolerance=TOLERANCE, input_script=False, jobs=jobs,
                          progress=lambda p: finished.append(p.elapsed))
    wall = time.perf_counter() - started
    packmol_peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
    print(json.dumps({"seconds": wall, "min_distance": report.min_distance,
                      "peak_bytes": max(peak_resident() - before, 0),
                      "packmol_peak_bytes": packmol_peak, "finished": finished,
                      # What the packing itself warned about: imperfect sub-boxes, close contacts.
                      "warnings": [w for w in report.warnings
                                   if w.startswith(("sub-box", "packmol")) or "tolerance" in w]}))


# --- the driver -----------------------------------------------------------------------------

def run_case(system, scale, jobs, out_dir):
    command = [sys.executable, __file__, "--child", system, str(scale), str(jobs), out_dir]
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stderr}")
    return json.loads(done.stdout.splitlines()[-1])


def on_paper(one_job, cores):
    """Wall time with `cores` Packmol processes: the sub-boxes' times (the gaps between finishes of
    the one-job run) handed out in order to whichever worker is free first, plus the time spent
    outside Packmol."""
    times = [b - a for a, b in zip([0.0] + one_job["finished"], one_job["finished"])]
    workers = [0.0] * cores
    for seconds in times:
        workers[workers.index(min(workers))] += seconds
    return max(workers) + (one_job["seconds"] - sum(times)), times


def print_system(system, results):
    single = results["single run"]["seconds"]
    print(f"\n{system}: {'case':<10} {'wall s':>8} {'x single':>9} {'min dist Å':>11} "
          f"{'peak MB':>8} {'Packmol MB':>11}")
    for case, r in results.items():
        distance = "-" if r["min_distance"] is None else f"{r['min_distance']:.3f}"
        print(f"{'':>{len(system) + 1}} {case:<10} {r['seconds']:8.2f} {r['seconds'] / single:9.2f} "
              f"{distance:>11} {r['peak_bytes'] / 1e6:8.1f} {r['packmol_peak_bytes'] / 1e6:11.1f}")
        for warning in r["warnings"]:
            print(f"{'':>{len(system) + 12}}warning: {warning.splitlines()[0]}")
    estimate, times = on_paper(results["1 job"], CORES_ON_PAPER)
    print(f"{'':>{len(system) + 1}} {len(times)} sub-boxes of {min(times):.2f} to {max(times):.2f} "
          f"s; on {CORES_ON_PAPER} cores about {estimate:.2f} s ({estimate / single:.2f}x single)")
    for case, bound in SYSTEMS[system][2].items():
        ratio = results[case]["seconds"] / single
        print(f"{'':>{len(system) + 1}} target {case} <= {bound}x single: {ratio:.2f}x "
              f"{'met' if ratio <= bound else 'MISSED'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--systems", nargs="+", choices=SYSTEMS, default=list(SYSTEMS))
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every count (1.0)")
    parser.add_argument("--child", nargs=4, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        system, scale, jobs, out_dir = args.child
        measure_build(system, float(scale), None if jobs == "None" else int(jobs), out_dir)
        return

    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}, "
          f"{os.cpu_count()} cores, scale {args.scale}, tolerance {TOLERANCE} Å")
    with tempfile.TemporaryDirectory(prefix="packing_bench") as scratch:
        for system in args.systems:
            results = {case: run_case(system, args.scale, jobs, os.path.join(scratch, case))
                       for case, jobs in CASES.items()}
            print_system(system, results)
    print(f"\nload average after:  {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
