#!/usr/bin/env bash
# Runs each named harness for the given number of seconds, one after another, on its corpus in
# fuzz/corpus/<name>/ (seeded from the test data, the examples and fuzz/seeds/ first).
# Usage: fuzz/run.sh BUILD_DIR SECONDS NAME...
#        (NAME: force_field, molecule, packed_pdb, coordinate_file, trajectory)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 seconds=$2
shift 2

for name in "$@"; do
    fuzz/collect-corpus.sh "$name"
    mkdir -p "fuzz/artifacts/$name"
    case $name in
        packed_pdb | coordinate_file) dict=fuzz/pdb.dict ;;
        trajectory) dict=fuzz/trajectory.dict ;;
        *) dict=fuzz/json.dict ;;
    esac
    echo "== $name: ${seconds}s"
    # A hang past 10 s or a process beyond 2 GB counts as a finding; so does any leak.
    "$build/${name}_fuzz" "fuzz/corpus/$name" \
        -dict="$dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -detect_leaks=1 -print_final_stats=1 -artifact_prefix="fuzz/artifacts/$name/"
done
