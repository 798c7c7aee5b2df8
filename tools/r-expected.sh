#!/usr/bin/env bash
# Writes r/tests/testthat/expected/: what the programs make of the barley
# table (seqord-export's tables, and the checksums of the job's files), which
# the R package's tests compare the package with where the programs are not
# at hand.  Run it after a change to what the programs write:
#   tools/r-expected.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/release}")
out=r/tests/testthat/expected
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp examples/barley.csv "$tmp/"
(
  cd "$tmp"
  "$bin/seqord-prep" --value value barley.csv BARLEY >/dev/null 2>&1
  "$bin/seqord" BARLEY >/dev/null
  "$bin/seqord-export" BARLEY >/dev/null
  md5sum BARLEY.EMA BARLEY.NAQ BARLEY.names.csv BARLEY.SOR BARLEY.ORS BARLEY.POR BARLEY.ORP > BARLEY.md5
)
rm -rf "$out"
mkdir -p "$out"
cp "$tmp"/BARLEY.*.csv "$tmp"/BARLEY.md5 "$out"/
rm "$out"/BARLEY.names.csv
ls "$out"
