"""How in.lmp hands a packed box over to its NPT production: the density from the first
production step on, the first production line's pressure, and the lowest density as a fraction of
the mean of the production's second half (a box torn open at the hand-over dips far below it).

The systems (bundled models by name, as a new user builds them):

    mixture   CO2 / 1-propanol / n-hexane, mole fractions 0.1 / 0.45 / 0.45 of 400 molecules,
              700 kg/m³, 298 K, 49.35 atm: the rigid CO2 among flexible molecules
    control   1-propanol / n-hexane, 0.5 / 0.5 of 360 molecules, the same state point

Each is packed into DIR/<name> by the boxwright on PYTHONPATH and its in.lmp run as written, with
only the production's length and a thermo line every 100 steps set. To compare with an older
in.lmp, run the same command with an older build on PYTHONPATH and another DIR; --plot draws the
density traces of several runs into one SVG:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/start_bench.py --out /tmp/after
    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/start_bench.py \\
        --plot docs/start-density.svg before=/tmp/before after=/tmp/after

Minutes per system on two cores (2100 atoms, 14 Å cutoff); standard library only; needs `lmp`
and, for --ranks above 1, `mpirun`.
"""

import argparse
import pathlib
import statistics
import subprocess
import sys

SYSTEMS = {
    "mixture": (["co2", "1-propanol", "n-hexane"], [0.1, 0.45, 0.45], 400),
    "control": (["1-propanol", "n-hexane"], [0.5, 0.5], 360),
}
DENSITY, TEMPERATURE, PRESSURE = 700.0, 298.0, 49.35


def build(name, out):
    from boxwright import pack
    species, fractions, molecules = SYSTEMS[name]
    pack.packmol(species, None, DENSITY, out_dir=out, mole_fractions=fractions,
                 molecules=molecules, temperature=TEMPERATURE, pressure=PRESSURE)


def run(directory, steps, ranks):
    """Runs in.lmp with a thermo line every 100 steps, keeping the screen in screen.txt; returns
    the thermo rows of each run."""
    script = directory / "in.lmp"
    text = script.read_text(encoding="utf-8")
    # An in.lmp from before the thermo interval was a setting has it written out.
    script.write_text(text.replace("\nthermo          1000\n", "\nthermo          100\n"),
                      encoding="utf-8")
    mpi = ["mpirun", "--allow-run-as-root", "--oversubscribe", "-np", str(ranks)] if ranks > 1 else []
    proc = subprocess.run([*mpi, "lmp", "-var", "steps", str(steps), "-var", "thermo_every", "100",
                           "-in", "in.lmp", "-log", "none", "-nocite"],
                          cwd=directory, capture_output=True, text=True, check=False)
    screen = proc.stdout + proc.stderr
    (directory / "screen.txt").write_text(screen, encoding="utf-8")
    if proc.returncode != 0 or "ERROR" in screen:
        sys.exit(f"lmp failed in {directory}:\n" + "\n".join(screen.splitlines()[-10:]))
    return runs_of(screen)


def runs_of(screen):
    """The thermo rows (step temp press density pe ke etotal) of each run on the screen."""
    runs, rows = [], None
    for line in screen.splitlines():
        fields = line.split()
        if fields[:2] == ["Step", "Temp"]:
            rows = []
            runs.append(rows)
        elif rows is not None and len(fields) == 7 and fields[0].isdigit():
            rows.append([float(f) for f in fields])
        elif fields[:1] == ["Loop"]:
            rows = None
    return runs


def summary(runs):
    production = runs[-1]
    second_half = [row[3] for row in production[len(production) // 2:]]
    mean = statistics.mean(second_half)
    return {
        "start_pe": runs[-2][-1][4] if len(runs) > 1 else float("nan"),
        "first_pressure": production[0][2],
        "lowest_fraction": min(row[3] for row in production) / mean,
        "final_mean": mean,
        "trace": [(int(row[0] - production[0][0]), row[3]) for row in production],
    }


def report(name, result):
    trace = result["trace"]
    every = max(1, len(trace) // 20)
    print(f"{name}: first production pressure {result['first_pressure']:.0f} atm "
          f"(target {PRESSURE}); lowest density {result['lowest_fraction']:.3f} of the final "
          f"mean {result['final_mean']:.4f} g/cm³; potential energy before the production "
          f"{result['start_pe']:.0f} kcal/mol")
    print("  density every", trace[every][0] - trace[0][0] if len(trace) > every else 0,
          "steps:", " ".join(f"{d:.3f}" for _, d in trace[::every]))


def traces_of(directory):
    """(step, density) of the production that `directory`/screen.txt shows."""
    production = runs_of((directory / "screen.txt").read_text(encoding="utf-8"))[-1]
    return [(row[0] - production[0][0], row[3]) for row in production]


def plot(path, labelled):
    """An SVG of the production density traces: one panel per system, one line per label.
    Written by hand: a few dozen lines of SVG need no plotting package."""
    colours = ["#c0392b", "#2471a3", "#229954", "#7d3c98"]
    width, height, margin = 420, 300, 50
    panels = []
    for p, name in enumerate(SYSTEMS):
        series = [(label, traces_of(pathlib.Path(d) / name)) for label, d in labelled
                  if (pathlib.Path(d) / name / "screen.txt").exists()]
        if not series:
            continue
        x_max = max(s for _, t in series for s, _ in t) or 1
        lo = min(d for _, t in series for _, d in t)
        hi = max(d for _, t in series for _, d in t)
        lo, hi = lo - 0.02 * (hi - lo), hi + 0.02 * (hi - lo)
        ox = p * (width + 20)

        def xy(step, density):
            return (ox + margin + (width - 1.5 * margin) * step / x_max,
                    height - margin - (height - 1.6 * margin) * (density - lo) / (hi - lo))
        items = [f'<text x="{ox + width / 2}" y="20" text-anchor="middle">{name}</text>',
                 f'<rect x="{ox + margin}" y="{0.6 * margin}" width="{width - 1.5 * margin}" '
                 f'height="{height - 1.6 * margin}" fill="none" stroke="#888"/>',
                 f'<text x="{ox + width / 2}" y="{height - 12}" text-anchor="middle">'
                 f'production step (fs)</text>']
        for k in range(5):
            d = lo + (hi - lo) * k / 4
            x, y = xy(0, d)
            items.append(f'<text x="{x - 4}" y="{y + 4}" text-anchor="end">{d:.3f}</text>')
        for k in range(5):
            s = x_max * k / 4
            x, y = xy(s, lo)
            items.append(f'<text x="{x}" y="{y + 16}" text-anchor="middle">{s:.0f}</text>')
        for n, (label, trace) in enumerate(series):
            points = " ".join(f"{x:.1f},{y:.1f}" for x, y in (xy(s, d) for s, d in trace))
            colour = colours[n % len(colours)]
            items.append(f'<polyline points="{points}" fill="none" stroke="{colour}" '
                         f'stroke-width="1.5"/>')
            items.append(f'<text x="{ox + width - margin}" y="{height - margin - 10 - 16 * n}" '
                         f'text-anchor="end" fill="{colour}">{label}</text>')
        panels += items
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{2 * width + 20}" height="{height}" '
           f'font-family="sans-serif" font-size="12">\n'
           f'<text x="8" y="{height / 2}" transform="rotate(-90 8 {height / 2})" '
           f'text-anchor="middle">density (g/cm³)</text>\n' + "\n".join(panels) + "\n</svg>\n")
    pathlib.Path(path).write_text(svg, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("start-bench"))
    parser.add_argument("--systems", nargs="+", choices=list(SYSTEMS), default=list(SYSTEMS))
    parser.add_argument("--steps", type=int, default=20000, help="of the production")
    parser.add_argument("--ranks", type=int, default=2)
    parser.add_argument("--summarise", action="store_true",
                        help="summarise the screen.txt of an earlier run instead of running")
    parser.add_argument("--plot", metavar="SVG", help="draw LABEL=DIR runs instead of running")
    parser.add_argument("runs", nargs="*", metavar="LABEL=DIR")
    args = parser.parse_args()
    if args.plot:
        plot(args.plot, [tuple(run.split("=", 1)) for run in args.runs])
        return
    for name in args.systems:
        directory = args.out / name
        if args.summarise:
            runs = runs_of((directory / "screen.txt").read_text(encoding="utf-8"))
        else:
            if not (directory / "in.lmp").exists():
                build(name, directory)
            runs = run(directory, args.steps, args.ranks)
        report(name, summary(runs))


if __name__ == "__main__":
    main()
