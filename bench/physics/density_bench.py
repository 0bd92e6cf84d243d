"""Every bundled model against its own published density, through in.lmp as boxwright writes it.

The reference of a model is the density the same model gives in careful published simulations at
the same state point and with the same conventions (cutoff, tail corrections, bonds held or
springs), not experiment: a model's own distance from experiment is not this project's to judge.
REFERENCES below names each value, its table and its conventions; NO_REFERENCE names the models
for which no published same-model value was found.

Each system is built by name with `boxwright.pack.packmol` and the defaults a user gets (the
model's own cutoff, the preset's tail corrections, in.lmp's 1 fs timestep); only the state point,
the cutoff where the reference used another one, and the run length are set. LAMMPS runs in.lmp
as written; the density is read from the thermo rows of its last run (the NPT production, one row
per 1000 steps), the first --discard ps are dropped, and the rest is cut into --blocks blocks.
The mean is the mean of the block means, its standard error their standard deviation over
sqrt(blocks); the integrated autocorrelation time of the density is printed beside the block
length, which must be several times longer for the error to hold, and so is the drift, the mean
of the second half of the kept rows less that of the first, which shows a run still relaxing.

Results are kept in bench/physics/validation.json (one entry per system, replaced when the
system is run again), and docs/validation.md and docs/validation.svg are written from all of
them. Run from the root of the repository after a build; minutes to an hour per system on a
shared machine, so run a few at a time:

    PYTHONPATH=build/python "$(scripts/find-python.sh)" bench/physics/density_bench.py \\
        --all | --systems isobutane n-butane [--ps 100] [--discard 30] [--blocks 5] [--ranks 2]
    ... density_bench.py --docs-only      # rewrite the page from the kept results
    ... density_bench.py --systems isobutane --keep DIR --reanalyse --discard 40
                                          # a kept run read again with other settings

Standard library only; needs `lmp` (and `mpirun` for --ranks above 1; on a machine whose cores
are all busy, one rank is faster than two, which wait for each other).
"""

import argparse
import datetime
import json
import math
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import textwrap
import time
from dataclasses import asdict, dataclass

from boxwright import models, pack

ROOT = pathlib.Path(__file__).resolve().parents[2]
RESULTS = ROOT / "bench" / "physics" / "validation.json"
PAGE = ROOT / "docs" / "validation.md"
PLOT = ROOT / "docs" / "validation.svg"
KPA_PER_ATM = 101.325

CRAVEN = ("N. C. Craven et al., J. Chem. Eng. Data 70, 2178 (2025), the TraPPE and SPC/E "
          "densities of six engines, LAMMPS among them")
SCHAPPALS = ("M. Schappals et al., J. Chem. Theory Comput. 13, 4270 (2017), round robin of five "
             "groups and eight codes")
TRAPPE_CONVENTIONS = "14 Å LJ cutoff + analytic tail corrections, Lorentz-Berthelot"


@dataclass(frozen=True)
class Reference:
    model: str
    temperature: float  # K
    pressure: float  # kPa
    density: float  # kg/m³, published
    source: str
    conventions: str  # the reference's cutoff, tail corrections and bonds
    molecules: int
    packing: float  # kg/m³ the box is packed at, a little under the liquid's
    cutoff: float | None = None  # Å, where the reference's differs from the model's own


REFERENCES = {
    "methane": Reference(
        "methane", 140.0, 1318.0, 375.9, f"{CRAVEN}: the LAMMPS value, 375.96",
        TRAPPE_CONVENTIONS, 400, 340.0),
    "n-pentane": Reference(
        "n-pentane", 372.0, 1402.0, 541.3,
        f"{CRAVEN}: bonds held; LAMMPS with stiff harmonic bonds (k = 502416 kJ/(mol nm²)) 543.1",
        f"{TRAPPE_CONVENTIONS}; bonds held", 250, 500.0),
    "benzene": Reference(
        "benzene", 450.0, 2260.0, 698.6, CRAVEN,
        f"{TRAPPE_CONVENTIONS}; rigid", 200, 650.0),
    "spce-280": Reference(
        "spce", 280.0, KPA_PER_ATM, 1006.8, CRAVEN,
        "9 Å LJ cutoff + tail corrections, Ewald; rigid", 300, 850.0, cutoff=9.0),
    "spce-300": Reference(
        "spce", 300.0, KPA_PER_ATM, 997.8, CRAVEN,
        "9 Å LJ cutoff + tail corrections, Ewald; rigid", 300, 850.0, cutoff=9.0),
    "spce-320": Reference(
        "spce", 320.0, KPA_PER_ATM, 986.3, CRAVEN,
        "9 Å LJ cutoff + tail corrections, Ewald; rigid", 300, 850.0, cutoff=9.0),
    "propane": Reference(
        "propane", 248.0, 5000.0, 568.5, SCHAPPALS,
        f"{TRAPPE_CONVENTIONS} as TraPPE prescribes; bonds held", 300, 520.0),
    "n-butane": Reference(
        "n-butane", 298.0, 5000.0, 581.0, f"{SCHAPPALS}; groups 579.4-581.8",
        f"{TRAPPE_CONVENTIONS} as TraPPE prescribes; bonds held", 250, 530.0),
    "isobutane": Reference(
        "isobutane", 248.0, 5000.0, 615.5, f"{SCHAPPALS}; groups 613.4-618.7",
        f"{TRAPPE_CONVENTIONS} as TraPPE prescribes; bonds held", 250, 570.0),
    "argon": Reference(
        "argon", 87.3, KPA_PER_ATM, 1395.1,
        "NIST Standard Reference Simulation Website, Lennard-Jones SAT-TMMC saturated liquid, "
        "scaled with the bundled argon's sigma 3.3952 Å and epsilon/k 116.79 K",
        "3 sigma (10.19 Å) LJ cutoff + tail corrections; run at 1 atm, within 0.02 % of the "
        "saturation pressure's density", 400, 1300.0, cutoff=10.1856),
    "tip4p2005": Reference(
        "tip4p2005", 298.0, KPA_PER_ATM, 997.9,
        "J. L. F. Abascal and C. Vega, J. Chem. Phys. 123, 234505 (2005), Table I",
        "8.5 Å LJ cutoff + LJ tail corrections, Ewald; rigid", 300, 850.0,
        cutoff=8.5),
}

# Why a model has no row: no published density of the same model with known conventions found.
NO_REFERENCE = {
    "ethane": "none found with its conventions (TraPPE's own are Gibbs-ensemble coexistence "
              "curves, not at hand as numbers)",
    "n-hexane": "none found",
    "n-octane": "none found",
    "methanol": "none found",
    "ethanol": "none found",
    "1-propanol": "none found",
    "co2": "none found",
    "krypton": "none found (the paper's coexistence data were not at hand as numbers)",
    "tip3p": "the paper's 1983 density used truncated Coulomb interactions, which in.lmp does "
             "not reproduce; no Ewald value found",
    "tip4p-ew": "none found with its conventions",
}


# What the runs showed, kept with the benchmark so that the page keeps it when rewritten.
FINDINGS = [
    "**The former start's transients, and the start that replaced it.** This page's first "
    "measurements were made after in.lmp's former start (no minimisation with a bare charge, 1 ps of "
    "`nve/limit` under a 10 fs Langevin thermostat, then Nose-Hoover NPT launched from 10^4 atm), "
    "which left the production out of equilibrium for tens of picoseconds: isobutane averaged "
    "629.3 kg/m³ (+2.2 %) from 5 to 25 ps and 615.6 from 50 to 80 ps, n-butane 593.2 ± 1.5 "
    "(+2.1 %) from 30 to 60 ps. in.lmp now minimises every system, starts at twice the "
    "temperature falling to it over 10 ps, and hands over to the production through a Berendsen "
    "barostat (docs/choosing-a-preset.md). The rows of 100 ps runs were measured with that start, "
    "those of 80 ps (benzene, argon) after the former one; the benchmark still drops the first "
    "30 ps.",
    "**n-butane's +2.1 % was the former start's.** At equilibrium in.lmp gives the round "
    "robin's value: a 150 ps continuation (read_restart, the same springs and Nose-Hoover NPT) of "
    "200 butanes at 298 K and 5 MPa gives 579.5 ± 1.1 kg/m³ (−0.24 %; its last 112 ps in 5 "
    "blocks), and "
    "this benchmark's run with the present start 575.7 ± 2.0 over 30-100 ps (−0.9 %). What makes "
    "a packed chain liquid slow is its conformations: Packmol places every molecule as its file "
    "has it, all-trans, and at 298 K the butanes take some 50 ps to reach the 68 % trans of "
    "equilibrium. Started at the temperature, the production's first 10 ps give 564.7 and it "
    "rises to 581 over 80 ps; with the start at twice the temperature, 577.6 from the first 10 ps "
    "on. Springs a quarter as stiff change nothing that these runs resolve (581.2 ± 1.6 over "
    "20-80 ps): the springs were not the cause.",
    "**For isobutane every convention of the reference was compared with in.lmp, and none "
    "differs.** Tail "
    "corrections are on and survive in.lmp's second pair_style: a run 0 of the packed isobutane "
    "box gives 924,153 atm with them and 924,261 atm with `pair_modify tail no`. The cutoff is "
    "the model's 14 Å. Mixing is Lorentz-Berthelot: an explicit LB CH-CH3 coefficient gives the "
    "same energy as the mixed one (a geometric sigma would change it by 2.3 % in that "
    "box). 1-2, 1-3 and 1-4 pairs are excluded, as in TraPPE; the three bonds are held by SHAKE "
    "at 1.54 Å, the bend is TraPPE's; Nose-Hoover keeps temperature and pressure at their "
    "targets; 1 fs; 200 molecules in a 31 Å box, over twice the cutoff. The round robin's own "
    "text on cutoff and tail corrections could not be read for this page; its TraPPE values are "
    "compared as TraPPE's 14 Å with tail corrections.",
    "**The chains' bonds are one published kind.** Every bond SHAKE cannot hold is a "
    "harmonic spring of k = 502416 kJ/(mol nm²), the stiffness of Craven et al.'s LAMMPS runs, "
    "6.3 times the former 96500 K/Å²: in n-pentane at 372 K the C-C bonds spread by ± 0.024 to "
    "0.028 Å (standard deviation over 800 bonds of a final configuration; √(kT/k) is 0.025 Å), "
    "against ± 0.062 Å that the former springs give at that temperature. Its period, 24 fs, is "
    "24 of in.lmp's 1 fs steps. n-pentane at 372 K and 1402 kPa with them and the present start: "
    "545.5 ± 2.8 kg/m³ over 30-100 ps, +0.78 % over the held-bond 541.3 and +0.45 % over the "
    "543.1 of LAMMPS with the same springs.",
    "**Not yet measured here**: SPC/E at 280 and 320 K; `density_bench.py --all` runs every row, "
    "one by one, and rewrites this page, and `--systems NAME ...` runs a few.",
]


@dataclass
class Measured:
    system: str
    density: float  # kg/m³, the mean of the block means
    error: float  # kg/m³, their standard error
    blocks: int
    block_ps: float
    correlation_ps: float  # integrated autocorrelation time of the density
    drift: float  # kg/m³, the mean of the second half of the kept rows less that of the first
    molecules: int
    production_ps: float
    discarded_ps: float
    ranks: int
    wall_s: float
    date: str
    note: str = ""


def run_system(name, ref, molecules, directory, picoseconds, ranks):
    """The production run's density rows, kg/m³, one per ps, and the run's directory."""
    out = pathlib.Path(directory, name)
    pack.packmol([ref.model], [molecules], ref.packing, out_dir=out,
                 temperature=ref.temperature, pressure=ref.pressure / KPA_PER_ATM,
                 cutoff=ref.cutoff)
    steps = int(round(picoseconds * 1000))  # in.lmp's timestep is 1 fs
    mpi = ["mpirun", "--allow-run-as-root", "-np", str(ranks)] if ranks > 1 else []
    subprocess.run([*mpi, "lmp", "-var", "steps", str(steps), "-in", "in.lmp", "-log",
                    "log.lammps", "-nocite"], cwd=out, stdout=subprocess.DEVNULL, check=True)
    return production_densities((out / "log.lammps").read_text()), out


def production_densities(log):
    """The density column of the last thermo table of a LAMMPS log (the production run), kg/m³,
    without its first row (the state before the run's first step)."""
    tables, rows, columns = [], None, None
    for line in log.splitlines():
        fields = line.split()
        if fields[:1] == ["Step"]:
            columns, rows = fields, []
            tables.append(rows)
        elif rows is not None and len(fields) == len(columns) and fields[0].isdigit():
            rows.append(float(fields[columns.index("Density")]) * 1000)
        elif line.startswith("Loop time"):
            rows = None
    return tables[-1][1:]


def block_average(samples, blocks):
    size = len(samples) // blocks
    means = [statistics.fmean(samples[i * size:(i + 1) * size]) for i in range(blocks)]
    return statistics.fmean(means), statistics.stdev(means) / math.sqrt(blocks)


def correlation_time(samples, spacing):
    """Integrated autocorrelation time, summed until the autocorrelation first drops below 0."""
    mean = statistics.fmean(samples)
    deviations = [x - mean for x in samples]
    variance = sum(d * d for d in deviations) / len(samples)
    if variance == 0:
        return 0.0
    tau = 0.5
    for lag in range(1, len(samples) // 2):
        rho = sum(a * b for a, b in zip(deviations, deviations[lag:])) / (len(samples) * variance)
        if rho <= 0:
            break
        tau += rho
    return tau * spacing


def measure(name, args, earlier):
    ref = REFERENCES[name]
    molecules = args.molecules or ref.molecules
    log = pathlib.Path(args.keep or ".", name, "log.lammps")
    if args.reanalyse:  # the kept run again, with other --discard or --blocks
        densities = production_densities(log.read_text())
        if earlier:
            wall, molecules, production = earlier.wall_s, earlier.molecules, earlier.production_ps
        else:
            wall, production = 0, args.ps
    else:
        with tempfile.TemporaryDirectory(prefix="bw-validation-") as scratch:
            start = time.monotonic()
            densities, _ = run_system(name, ref, molecules, args.keep or scratch, args.ps,
                                      args.ranks)
            wall = time.monotonic() - start
        production = args.ps
    kept = densities[int(round(args.discard)):]  # one row per ps
    mean, error = block_average(kept, args.blocks)
    half = len(kept) // 2
    return Measured(
        system=name, density=round(mean, 2), error=round(error, 2), blocks=args.blocks,
        block_ps=len(kept) // args.blocks, correlation_ps=round(correlation_time(kept, 1.0), 1),
        drift=round(statistics.fmean(kept[half:]) - statistics.fmean(kept[:half]), 1),
        molecules=molecules, production_ps=production, discarded_ps=args.discard,
        ranks=args.ranks, wall_s=round(wall), date=datetime.date.today().isoformat(),
        note=args.note or (earlier.note if earlier else ""))


def deviation(measured, ref):
    percent = 100 * (measured.density / ref.density - 1)
    errors = (measured.density - ref.density) / measured.error if measured.error else math.inf
    return percent, errors


def table_rows(results):
    header = ("| system | T / K | p / kPa | reference kg/m³ | measured kg/m³ | deviation | "
              "in SE | N | run ps (blocks x ps) | tau ps | drift kg/m³ |")
    lines = [header, "|" + "---|" * 11]
    for name, ref in REFERENCES.items():
        m = results.get(name)
        if m is None:
            lines.append(f"| {name} | {ref.temperature:g} | {ref.pressure:g} | {ref.density:g} "
                         "| not yet measured | | | | | | |")
            continue
        percent, errors = deviation(m, ref)
        lines.append(
            f"| {name} | {ref.temperature:g} | {ref.pressure:g} | {ref.density:g} | "
            f"{m.density:.1f} ± {m.error:.1f} | {percent:+.2f} % | {errors:+.1f} | "
            f"{m.molecules} | {m.production_ps:g} − {m.discarded_ps:g} "
            f"({m.blocks} x {m.block_ps:g}) | {m.correlation_ps:g} | {m.drift:+.1f} |")
    return lines


def print_table(results):
    rows = [[cell.strip() for cell in line.strip("|").split("|")]
            for line in table_rows(results) if not line.startswith("|---")]
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    for row in rows:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())


def prose(text):
    """A paragraph, or a list item (its lines under its first word), wrapped at 100 columns."""
    indent = "  " if text.startswith("- ") else ""
    return textwrap.fill(text, width=100, subsequent_indent=indent, break_long_words=False,
                         break_on_hyphens=False)


def svg_plot(results):
    """Measured against published density, with twice the standard error as the bar, and the
    deviation in percent beside it. A few lines of SVG, not a plotting library: none is
    installed for the Python that runs this, and the picture is a handful of points."""
    rows = [(name, REFERENCES[name], results[name]) for name in REFERENCES if name in results]
    width, height, pad = 760, 360, 50
    lo, hi = 300.0, 1450.0
    left = 320  # the parity panel is square, left; the deviations go right
    scale = (left - 2 * pad) / (hi - lo)

    def px(value):
        return pad + (value - lo) * scale

    def py(value):
        return height - pad - (value - lo) * scale * (height - 2 * pad) / (left - 2 * pad)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           'font-family="sans-serif" font-size="11">',
           '<rect width="100%" height="100%" fill="white"/>',
           f'<line x1="{px(lo)}" y1="{py(lo)}" x2="{px(hi)}" y2="{py(hi)}" stroke="#999"/>',
           f'<rect x="{pad}" y="{pad}" width="{left - 2 * pad}" height="{height - 2 * pad}" '
           'fill="none" stroke="black"/>',
           f'<text x="{left / 2}" y="{height - 12}" text-anchor="middle">published, kg/m³</text>',
           f'<text x="14" y="{height / 2}" transform="rotate(-90 14 {height / 2})" '
           'text-anchor="middle">measured, kg/m³</text>']
    for tick in (400, 600, 800, 1000, 1200, 1400):
        out.append(f'<text x="{px(tick)}" y="{height - pad + 14}" text-anchor="middle">'
                   f'{tick}</text>')
        out.append(f'<text x="{pad - 4}" y="{py(tick) + 4}" text-anchor="end">{tick}</text>')
    for _, ref, m in rows:
        x, y = px(ref.density), py(m.density)
        bar = 2 * m.error * scale
        out.append(f'<line x1="{x:.1f}" y1="{y - bar:.1f}" x2="{x:.1f}" y2="{y + bar:.1f}" '
                   'stroke="#1f5fa8"/>')
        out.append(f'<circle cx="{x:.1f}" cy="{y:.1f}" r="3" fill="#1f5fa8"/>')
    # The deviations: one row per system, the zero line, ±1 % shaded.
    x0, span = left + 130, width - left - 160  # -3 % .. +3 %

    def dx(percent):
        return x0 + (percent + 3) / 6 * span

    top, step = pad, (height - 2 * pad) / max(len(REFERENCES), 1)
    out.append(f'<rect x="{dx(-1):.1f}" y="{top}" width="{dx(1) - dx(-1):.1f}" '
               f'height="{height - 2 * pad}" fill="#eeeeee"/>')
    out.append(f'<line x1="{dx(0):.1f}" y1="{top}" x2="{dx(0):.1f}" y2="{height - pad}" '
               'stroke="#999"/>')
    for tick in (-3, -2, -1, 0, 1, 2, 3):
        out.append(f'<text x="{dx(tick):.1f}" y="{height - pad + 14}" text-anchor="middle">'
                   f'{tick:+d}</text>')
    out.append(f'<text x="{dx(0):.1f}" y="{height - 12}" text-anchor="middle">'
               'measured − published, % (bar: 2 standard errors; shaded: ±1 %)</text>')
    for i, name in enumerate(REFERENCES):
        y = top + (i + 0.5) * step
        out.append(f'<text x="{x0 - 8}" y="{y + 4:.1f}" text-anchor="end">{name}</text>')
        if name not in results:
            continue
        ref, m = REFERENCES[name], results[name]
        percent = 100 * (m.density / ref.density - 1)
        bar = 200 * m.error / ref.density
        out.append(f'<line x1="{dx(percent - bar):.1f}" y1="{y:.1f}" x2="{dx(percent + bar):.1f}" '
                   f'y2="{y:.1f}" stroke="#1f5fa8"/>')
        out.append(f'<circle cx="{dx(percent):.1f}" cy="{y:.1f}" r="3" fill="#1f5fa8"/>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def write_page(results):
    lines = [
        "# Validation: the bundled models against their published densities",
        "",
        prose("Each bundled model that has a published density of the *same model* (same "
              "parameters, cutoff, tail corrections and bond treatment) is built by name with "
              "the defaults and its in.lmp run as written; only the state point, the cutoff "
              "where the reference used another, and the run length are set. The production "
              "run is Nose-Hoover NPT at 1 fs. The density is the mean of the block means of "
              "the production run after its first ps are dropped (\"run ps\": production − "
              "dropped, then blocks x block length), with the standard error of the block "
              "means; tau is the integrated autocorrelation time of the density, which each "
              "block must exceed several times. \"in SE\" is the deviation in standard errors "
              "of the measurement."),
        "",
        prose("The benchmark that writes this page is `bench/physics/density_bench.py` (its "
              "docstring gives the command); its results are kept in "
              "`bench/physics/validation.json`."),
        "",
        *table_rows(results),
        "",
        "![measured against published density](validation.svg)",
        "",
        *(["## What the runs showed", ""] if FINDINGS else []),
        *[line for finding in FINDINGS
          for line in (prose(finding), "")],
        "## The references",
        "",
    ]
    for name, ref in REFERENCES.items():
        cutoff = f" Built with cutoff {ref.cutoff:g} Å." if ref.cutoff else ""
        lines.append(prose(f"- **{name}** ({ref.model}): {ref.source}. Conventions: "
                           f"{ref.conventions}.{cutoff}"))
    notes = [prose(f"- **{name}**: {m.note}") for name, m in results.items() if m.note]
    if notes:
        lines += ["", "## Notes on the runs", "", *notes]
    lines += ["", "## Models without a published same-model value", "",
              prose("Compared with nothing here; [Bundled models](models.md) says how their "
                    "numbers were checked."), ""]
    lines += [prose(f"- **{name}**: {why}") for name, why in NO_REFERENCE.items()]
    PAGE.write_text("\n".join(lines) + "\n", encoding="utf-8")
    PLOT.write_text(svg_plot(results), encoding="utf-8")


def load_results():
    if not RESULTS.exists():
        return {}
    return {name: Measured(**entry)
            for name, entry in json.loads(RESULTS.read_text(encoding="utf-8")).items()}


def save_results(results):
    ordered = {name: asdict(results[name]) for name in REFERENCES if name in results}
    RESULTS.write_text(json.dumps(ordered, indent=1, ensure_ascii=False) + "\n",
                       encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--systems", nargs="+", choices=list(REFERENCES), default=[])
    parser.add_argument("--all", action="store_true", help="run every system, one by one")
    parser.add_argument("--ps", type=float, default=100.0, help="production run, ps")
    parser.add_argument("--discard", type=float, default=30.0, help="ps dropped at its start")
    parser.add_argument("--blocks", type=int, default=5)
    parser.add_argument("--molecules", type=int, help="in place of each system's own")
    parser.add_argument("--ranks", type=int, default=1, help="MPI processes of LAMMPS")
    parser.add_argument("--keep", help="run in this directory and keep the runs")
    parser.add_argument("--reanalyse", action="store_true",
                        help="read the runs kept in --keep again instead of running")
    parser.add_argument("--note", help="a note on these runs, shown on the page")
    parser.add_argument("--docs-only", action="store_true",
                        help="only rewrite docs/validation.md from the kept results")
    args = parser.parse_args()
    missing = set(models.names()) - {r.model for r in REFERENCES.values()} - set(NO_REFERENCE)
    if missing:
        parser.error(f"bundled models neither compared nor listed as without reference: "
                     f"{sorted(missing)}")
    results = load_results()
    for name in list(REFERENCES) if args.all else args.systems:
        if not args.reanalyse:
            print(f"{name}: {args.ps:g} ps ...", file=sys.stderr, flush=True)
        results[name] = measure(name, args, results.get(name))
        save_results(results)
        write_page(results)
    write_page(results)
    print_table(results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
