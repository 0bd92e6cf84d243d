#!/usr/bin/env bash
# Seeds fuzz/corpus/<name>/ with the files of that harness's kind from tests/data, examples/ and
# fuzz/seeds/<name>/ (JSON for the two loaders, PDB for the packed-structure reader). The corpus
# itself is not kept in git: it grows with every run.
# Usage: fuzz/collect-corpus.sh NAME
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
case $name in
    packed_pdb) pattern='*.pdb' ;;
    force_field | molecule) pattern='*.json' ;;
    *) echo "unknown harness: $name" >&2; exit 1 ;;
esac

corpus=fuzz/corpus/$name
mkdir -p "$corpus"
# Each seed is stored under its content hash, as libFuzzer names the inputs it adds.
sources=(tests/data examples)
[ -d "fuzz/seeds/$name" ] && sources+=("fuzz/seeds/$name")
find "${sources[@]}" -name "$pattern" -type f |
while read -r file; do
    cp "$file" "$corpus/$(sha1sum "$file" | cut -c1-40)"
done
