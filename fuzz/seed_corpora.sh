#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the inputs of the
# known-good runs (tests/data/golden/*/input) and a few hand-made cases:
#   build/fuzz/corpus-records_read, corpus-list_read, corpus-format_out, corpus-job, corpus-csv_read
# Usage: fuzz/seed_corpora.sh [build folder, default build/fuzz]
# The corpora are not kept in the repository; libFuzzer adds to them as it runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/fuzz}"
golden="$root/tests/data/golden"

for t in records_read list_read format_out job csv_read; do
  rm -rf "$out/corpus-$t"
  mkdir -p "$out/corpus-$t"
done

# Writes $3 to file $1/$2 after the control bytes $4 (printf escapes).
seed() { { printf "$4"; printf '%s' "$3"; } > "$1/$2"; }
hex() { printf '\\x%02x' "$1"; }

# ---- fuzz_job: each golden .EMA, the separator line, its .NAQ; and the same
# pair cut back to the run header, title and option line.
sep=$'\n=====NAQ=====\n'
for d in "$golden"/*/; do
  c=$(basename "$d")
  { cat "$d/input/JOB.EMA"; printf '%s' "$sep"; cat "$d/input/JOB.NAQ"; } > "$out/corpus-job/$c"
  { head -n 3 "$d/input/JOB.EMA"; printf '%s' "$sep"; cat "$d/input/JOB.NAQ"; } > "$out/corpus-job/$c-noyears"
done

# ---- fuzz_records_read and fuzz_list_read: the pieces of each .EMA.  The
# awk script walks the file as the program reads it (header, title, options,
# then year record, NL, elimination vector of MAXL entries, NL matrix rows of
# ceil(i/10) lines each) and prints one piece per block: "Y<TAB>line" for a
# year record, "N<TAB>line" for NL, "E<TAB>lines" for the elimination vector,
# "M<TAB>NL<TAB>lines" for the matrix rows.
split_ema() {
  awk -v OFS='\t' '
    NR == 1 { maxl = $2; next }
    NR <= 3 { next }
    state == 0 { print "Y", $0; state = 1; next }
    state == 1 { nl = $1 + 0; print "N", $0; state = 2; got = 0; elim = ""; next }
    state == 2 { elim = elim $0 "\\n"; got += NF; if (got >= maxl) { print "E", elim; state = 3; i = 1; k = 0; rows = ""; need = 1 }
                 if (state == 3 && nl == 0) { state = 0 } next }
    state == 3 { rows = rows $0 "\\n"; if (++k >= need) { i++; k = 0; need = int((i + 9) / 10) }
                 if (i > nl) { print "M", nl, rows; state = 0 } next }
  ' "$1"
}

n=0
for d in "$golden"/*/; do
  c=$(basename "$d")
  ema="$d/input/JOB.EMA"
  maxl=$(head -n 1 "$ema" | awk '{print $2}')
  # Run header: five scalars (3 before the run, 2 after, no run).
  seed "$out/corpus-list_read" "$c-header" "$(head -n 1 "$ema")" "$(hex $((3 | 2 << 2)))\x00\x00"
  year=""
  while IFS=$'\t' read -r kind a b; do
    n=$((n + 1))
    case $kind in
      Y) year="$a" ;;
      N) seed "$out/corpus-list_read" "$c-nl-$n" "$a" '\x01\x00\x00' ;;
      E) seed "$out/corpus-list_read" "$c-elim-$n" "$(printf "$a")" "\x00$(hex "$maxl")\x00"
         seed "$out/corpus-list_read" "$c-elim2-$n" "$(printf "$a")" "\x05$(hex "$maxl")\x01" ;;
      M) # A whole block (year record and rows 1..NL), then each row on its own.
         seed "$out/corpus-records_read" "$c-block-$n" "$year"$'\n'"$(printf "$b")" "$(hex $((a & 31)))\x00"
         seed "$out/corpus-records_read" "$c-block2-$n" "$year"$'\n'"$(printf "$b")" "$(hex $((a & 31)))\x02" ;;
    esac
  done < <(split_ema "$ema")
  # Single lines of the matrix rows: rows of one value (3n + 1 with n = 0),
  # and the year records as blocks without rows.
  awk 'NR > 3 && length($0) > 16 && c++ < 12' "$ema" | while IFS= read -r line; do
    n=$((n + 1)); seed "$out/corpus-records_read" "$c-line-$n" "$line" '\x20\x00'
  done
  grep -m 3 -E '^ {0,5}[0-9]+ {4}' "$ema" | while IFS= read -r line; do
    n=$((n + 1)); seed "$out/corpus-records_read" "$c-year-$n" "$line" '\x00\x00'
  done
  # The name input's counts: three scalars.
  seed "$out/corpus-list_read" "$c-counts" "$(sed -n 2p "$d/input/JOB.NAQ")" '\x03\x00\x00'
done

# Hand-made free-form cases: lines that continue, null values, repeats,
# slashes, the extremes of 32-bit integers and a bad value.
i=0
for text in $'5\n7 9 11\n13' '5,,9' '2*4 /' '3* 8' ', 5' $'1,2,\n3' '-2147483648 +2147483647' \
            '2147483648' '1 x' $'\t4\t,\t5 , 6' '0*1' '*5' '2*' $'/\n7'; do
  i=$((i + 1))
  seed "$out/corpus-list_read" "hand-$i" "$text" '\x13\x00\x00'
  seed "$out/corpus-list_read" "hand-run-$i" "$text" '\x21\x04\x02'
done

# ---- fuzz_format_out: every catalogue layout with a few entries of each
# kind (byte 0 picks the layout), then field conversions (byte 0 >= 192).
# Interesting reals: 12.5, -0.0004, NaN, +Inf, the smallest subnormal, the
# largest float, -0.0, 0.5.
vals='\x00\x00\x48\x41\x17\xb7\xd1\xb9\x00\x00\xc0\x7f\x00\x00\x80\x7f\x01\x00\x00\x00\xff\xff\x7f\x7f\x00\x00\x00\x80\x00\x00\x00\x3f'
for l in $(seq 0 47); do
  for e in 1 3 8; do
    seed "$out/corpus-format_out" "layout-$l-$e" "" "$(hex "$l")$(hex "$e")\x05\x07\x21ABCDEFGH\x2a$vals$vals\x09HORYAN  $vals"
  done
done
seed "$out/corpus-format_out" "fields-int" "" '\xc0\x00\x06\x00\x39\x30\x00\x00\x00\x00\x00\x00\xc0\x04\x00\x39\x30\x00\x00\x00\x00\x00\x00\xc0\x14\x00\x00\x00\x00\x00\x00\x00\x00\x80'
seed "$out/corpus-format_out" "fields-f" "" "\xc1\x08\x03\x66\xe6\x40\x46\xc1\x07\x03\x17\xb7\xd1\xb9\xc1\x05\x03\x17\xb7\xd1\xb9\xc1\x02\x00\x00\x00\x00\x3f$vals"
seed "$out/corpus-format_out" "fields-e" "" "\xc2\x10\x08\x00\x00\x48\x41\xc2\x0e\x08\x00\x00\x48\x41\xc2\x0d\x08\x01\x00\x00\x00\xc2\x10\x08\xff\xff\x7f\x7f"
seed "$out/corpus-format_out" "fields-e-double" "" '\xc3\x18\x10\x00\x00\x00\x00\x00\x00\x10\x00\xc3\x10\x08\x01\x00\x00\x00\x00\x00\x00\x00\xc3\xff\xfe\x00\x00\x00\x00\x00\x00\xf0\x7f'

# ---- fuzz_csv_read: the heads of the tables of the tests and examples, and
# hand-made tables with quotes, other separators and line ends.
for f in "$root/examples/barley.csv" "$root/tests/data/prep/"*.csv; do
  head -c 3000 "$f" > "$out/corpus-csv_read/$(basename "$f")"
done
i=0
for text in $'year,location,genotype,yield\n2001,"A, B",g1,1.5\n2001,"say ""hi""",g2,2\n' \
            $'\xef\xbb\xbf\n\nYear;Location;Genotype;Yield\r\n2001;A;g1;4,5\r\n2001;A;g2;-0,25\r\n' \
            $'year\tlocation\tgenotype\tyield\n2001\tA\tg1\tNA\n2001\t"two\nlines"\tg1\t1e3\n' \
            $'year,location,genotype,yield\n2001,A,g1,1\r2001,A,g2,2\n' \
            $'year,location,genotype,yield\n2001,A,g1,1\n2001,A,g1,3\n2001,A,g2,+2\n2001,B,g1,.5\n  \n2001,B,g2, 7 \n'; do
  i=$((i + 1))
  printf '%s' "$text" > "$out/corpus-csv_read/hand-$i"
done

for t in records_read list_read format_out job csv_read; do
  echo "corpus-$t: $(ls "$out/corpus-$t" | wc -l) seeds"
done

# ---- fuzz_results_read: the four result files of each known-good run
# (.ORP, .POR, .ORS, .SOR, separated as the target splits them), and each
# plotting file alone.
rm -rf "$out/corpus-results_read"
mkdir -p "$out/corpus-results_read"
next=$'\n=====NEXT=====\n'
for d in "$golden"/*/; do
  c=$(basename "$d")
  e="$d/expected"
  { cat "$e/JOB.ORP"; printf '%s' "$next"; cat "$e/JOB.POR"; printf '%s' "$next"; cat "$e/JOB.ORS";
    printf '%s' "$next"; cat "$e/JOB.SOR"; } > "$out/corpus-results_read/$c"
  cp "$e/JOB.ORP" "$out/corpus-results_read/$c-orp"
  { printf '%s' "$next"; cat "$e/JOB.POR"; } > "$out/corpus-results_read/$c-por"
done
echo "corpus-results_read: $(ls "$out/corpus-results_read" | wc -l) seeds"
