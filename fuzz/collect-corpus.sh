#!/usr/bin/env bash
# Seeds fuzz/corpus/<name>/ with the files of that harness's kind from tests/data, examples/ and
# fuzz/seeds/<name>/ (JSON for the two loaders, PDB for the packed-structure reader, coordinate
# files for their readers). The corpus
# itself is not kept in git: it grows with every run.
# Usage: fuzz/collect-corpus.sh NAME
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
case $name in
    packed_pdb) patterns=(-name '*.pdb') ;;
    coordinate_file) patterns=(-name '*.xyz' -o -name '*.pdb' -o -name '*.data' -o -name '*.lmp') ;;
    trajectory) patterns=(-name '*.dump' -o -name '*.lammpstrj' -o -name '*.gro' -o -name '*.xyz' -o -name '*.pdb') ;;
    force_field | molecule) patterns=(-name '*.json') ;;
    *) echo "unknown harness: $name" >&2; exit 1 ;;
esac

corpus=fuzz/corpus/$name
mkdir -p "$corpus"
# Each seed is stored under its content hash, as libFuzzer names the inputs it adds.
sources=(tests/data examples)
[ -d "fuzz/seeds/$name" ] && sources+=("fuzz/seeds/$name")
find "${sources[@]}" -type f \( "${patterns[@]}" \) |
while read -r file; do
    cp "$file" "$corpus/$(sha1sum "$file" | cut -c1-40)"
done
