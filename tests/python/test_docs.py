"""The reference under docs/ does what it says: every example file loads and builds, every command
shown runs, and every output shown is what the command really prints or writes.

The pages mark their code blocks in the fence's info string:
    ```json title="water.json"          a file, written beside the commands of every page
    ```sh run                           commands a reader would type, run in that directory
    ```python run                       a script, run there with the package under test
    ```sh run lammps                    the same, needing LAMMPS
    ```text output                      exactly what the run block before it printed, standard
                                        output and error as a terminal shows them
    ```text excerpt="mix/forcefield.lmp"   consecutive whole lines of that file
    ```text lammps excerpt="run/in.lmp"    the same, of a file a LAMMPS block wrote
Every other json block must at least be valid JSON, and every link between the pages and from
the README must lead to a page and heading that exist.
"""

import json
import os
import re
import shlex
import subprocess
import sys
import unittest

from boxwright import pack
from support import LMP, SOURCE_DIR, TempDirTestCase, lattice_coordinates

DOCS = SOURCE_DIR / "docs"
FENCE = re.compile(r"^```(\S*)(.*?)\n(.*?)^```$", re.MULTILINE | re.DOTALL)
LINK = re.compile(r"\]\(([^)\s]+)\)")


class Block:
    def __init__(self, page, match):
        self.page, self.language, self.text = page, match[1], match[3]
        self.attributes = dict(re.findall(r'(\w+)="([^"]*)"', match[2]))
        self.flags = set(re.sub(r'\w+="[^"]*"', "", match[2]).split())
        self.line = page.read_text(encoding="utf-8").count("\n", 0, match.start()) + 1

    def __str__(self):
        return f"{self.page.name}:{self.line}"


def blocks(page):
    return [Block(page, m) for m in FENCE.finditer(page.read_text(encoding="utf-8"))]


PAGES = sorted(DOCS.glob("*.md"))
ALL_BLOCKS = [b for page in PAGES for b in blocks(page)]


def anchors(page):
    # Heading anchors as the common Markdown renderers make them: lower case, punctuation
    # dropped, blanks as hyphens.
    headings = re.findall(r"^#+ (.*)$", FENCE.sub("", page.read_text(encoding="utf-8")), re.M)
    return {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-") for h in headings}


class LinksTest(unittest.TestCase):
    def test_links_lead_to_existing_pages_and_headings(self):
        for page in [SOURCE_DIR / "README.md", *PAGES]:
            for target in LINK.findall(FENCE.sub("", page.read_text(encoding="utf-8"))):
                if re.match(r"\w+://", target):
                    continue
                with self.subTest(f"{page.name} -> {target}"):
                    path, _, anchor = target.partition("#")
                    linked = (page.parent / path).resolve() if path else page
                    self.assertTrue(linked.exists())
                    if anchor:
                        self.assertIn(anchor, anchors(linked))

    def test_help_points_to_the_docs(self):
        result = subprocess.run([sys.executable, "-m", "boxwright", "--help"],
                                capture_output=True, text=True, timeout=60)
        self.assertIn("docs/", result.stdout)


class DocsTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        self.files = self.example_files()
        # `boxwright` as the pages call it: the package under test, on PATH.
        bin_dir = self.tmp / "bin"
        bin_dir.mkdir()
        (bin_dir / "boxwright").write_text(f'#!/bin/sh\nexec {shlex.quote(sys.executable)} '
                                           '-m boxwright "$@"\n')
        (bin_dir / "boxwright").chmod(0o755)
        self.env = {**os.environ, "PATH": f"{bin_dir}{os.pathsep}{os.environ['PATH']}",
                    "OMP_NUM_THREADS": "1"}

    def example_files(self):
        files = {}
        for block in ALL_BLOCKS:
            title = block.attributes.get("title")
            if title is not None:
                self.assertEqual(files.setdefault(title, block.text), block.text,
                                 f"{block}: {title} is shown twice, differently")
        return files

    def write_files(self, directory):
        for title, text in self.files.items():
            (directory / title).parent.mkdir(parents=True, exist_ok=True)
            (directory / title).write_text(text, encoding="utf-8")

    def test_every_json_block_is_valid_json(self):
        for block in ALL_BLOCKS:
            if block.language == "json":
                with self.subTest(str(block)):
                    json.loads(block.text)

    def test_every_example_molecule_builds_alone_with_the_example_force_field(self):
        self.write_files(self.tmp)
        molecules = [t for t in self.files if t.endswith(".json") and t != "force_field.json"]
        self.assertTrue(molecules)
        for title in molecules:
            with self.subTest(title):
                path = self.tmp / title
                pack.from_coords([path], [2], lattice_coordinates([(path, 2)]), 20.0,
                                 force_field=self.tmp / "force_field.json",
                                 out_dir=self.tmp / "alone" / path.stem)

    def test_commands_run_and_print_and_write_what_the_pages_show(self):
        for page in PAGES:
            with self.subTest(page.name):
                directory = self.tmp / page.stem
                directory.mkdir()
                self.write_files(directory)
                self.follow(blocks(page), directory)

    def follow(self, page_blocks, directory):
        printed = None
        for block in page_blocks:
            if "run" in block.flags:
                if "lammps" in block.flags and not LMP:
                    printed = None
                    continue
                printed = self.run_commands(block, directory)
            elif "output" in block.flags:
                self.assertIsNotNone(printed, f"{block}: no run block before it")
                self.assertEqual(printed, block.text, str(block))
            elif "excerpt" in block.attributes:
                if "lammps" in block.flags and not LMP:
                    continue
                text = (directory / block.attributes["excerpt"]).read_text(encoding="utf-8")
                self.assertIn("\n" + block.text, "\n" + text, str(block))

    def run_commands(self, block, directory):
        command = ([sys.executable, "-c", block.text] if block.language == "python"
                   else ["sh", "-ec", block.text])
        # One pipe for both streams keeps their lines in the order they were written.
        result = subprocess.run(command, cwd=directory, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, timeout=600)
        self.assertEqual(result.returncode, 0, f"{block}:\n{result.stdout[-3000:]}")
        return result.stdout


if __name__ == "__main__":
    unittest.main()
