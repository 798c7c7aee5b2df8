#!/usr/bin/env bash
# The R package at r/: builds the source tarball (R CMD build copies the C++
# sources it needs from src/ into it), checks it with R CMD check --no-manual
# (an ERROR or a WARNING fails) and installs it into LIB, by default
# build/r/library, where the check's installation goes.  Its tests compare
# it with the programs of build/release when they are there.
#   tools/r-package.sh [LIB]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/r
lib=$(realpath -m "${1:-$out/library}")
rm -rf "$out/seqord.Rcheck" "$out"/seqord_*.tar.gz
mkdir -p "$out" "$lib"
cd "$out"
R CMD build "$root/r"
export SEQORD_BIN=${SEQORD_BIN:-$root/build/release} MAKEFLAGS=${MAKEFLAGS:--j2}
R CMD check --no-manual -l "$lib" seqord_*.tar.gz || true
line=$(grep '^Status:' seqord.Rcheck/00check.log || echo "Status: the check did not finish")
echo "R CMD check: $line"
case "$line" in
  *WARNING*|*ERROR*|*finish*) echo "R package: see $out/seqord.Rcheck/00check.log" >&2; exit 1 ;;
esac
Rscript -e "library(seqord, lib.loc = '$lib'); data(barley); print(seqord(barley, value = 'value'))"
echo "R package installed in $lib"
