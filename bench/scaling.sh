#!/usr/bin/env bash
# How the packer's and the installer's times grow with the payload: with its
# size (1, 64, 512 and 1024 MiB in one file) and with the number of files (1,
# 100 and 1000 files of 64 KiB), each against its yardstick: `cat` for the
# packer, `dd conv=fsync` for the installer. Runs bench/pack-speed.sh and
# bench/apply-speed.sh for every point (RUNS each, default 5), keeps their
# figures in docs/performance-pack.dat and docs/performance-apply.dat, prints
# the tables in Markdown and draws docs/performance.png from the figures.
#
#   bash bench/scaling.sh               measure everything, then draw
#   bash bench/scaling.sh pack          measure the packer only, then draw
#   bash bench/scaling.sh draw          draw and print the tables only
#
# Run after a native and a win64 build; needs about 4 GiB of free disk space,
# wine64 and a display for the installer (see bench/apply-speed.sh), and
# gnuplot, which it installs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
pack_data=docs/performance-pack.dat
apply_data=docs/performance-apply.dat
sizes=(1 64 512 1024)
counts=(100 1000)
small_kib=64

measure() {  # SCRIPT DATA: every point of both sweeps
  local script=$1 data=$2 mib files
  echo "# files size_mib time_s yardstick_s speed_ratio [peak_kib]" >"$data"
  for mib in "${sizes[@]}"; do DATA=$data bash "$script" "$mib" 1; done
  for files in 1 "${counts[@]}"; do DATA=$data bash "$script" "$((files * small_kib))k" "$files"; done
}

case $what in
  all) measure bench/pack-speed.sh "$pack_data"; measure bench/apply-speed.sh "$apply_data" ;;
  pack) measure bench/pack-speed.sh "$pack_data" ;;
  apply) measure bench/apply-speed.sh "$apply_data" ;;
  draw) ;;
  *) echo "usage: bash bench/scaling.sh [all|pack|apply|draw]" >&2; exit 2 ;;
esac

# The tables: one sweep per data file, sizes first, then file counts.
table() {  # DATA NAME YARDSTICK
  local data=$1 name=$2 yard=$3
  [ -f "$data" ] || { echo "(no figures in $data)"; return; }
  awk -v name="$name" -v yard="$yard" -v small="$small_kib" '
    /^#/ { next }
    { key = $1 " " $2; if (!(key in seen)) order[++n] = key; seen[key] = $0 }
    END {
      printf "| payload | %s, s | %s, s | speed against %s |%s\n", name, yard, yard, (name == "packer" ? " peak memory, MiB |" : "")
      printf "|---|---:|---:|---:|%s\n", (name == "packer" ? "---:|" : "")
      for (i = 1; i <= n; i++) {
        split(seen[order[i]], f, " ")
        what = (f[1] == 1 && f[2] + 0 >= 1) ? sprintf("%g MiB, 1 file", f[2]) : sprintf("%d file%s of %d KiB", f[1], f[1] == 1 ? "" : "s", small)
        printf "| %s | %.3f | %.3f | %.2f |%s\n", what, f[3], f[4], f[5], (name == "packer" ? sprintf(" %.1f |", f[6] / 1024) : "")
      }
    }' "$data"
}
echo
echo "Packer (bench/pack-speed.sh: medians; speed = cat's time / the packer's, median of pairs)"
table "$pack_data" packer cat
echo
echo "Installer under wine64 (bench/apply-speed.sh: medians; speed = dd's time / the installer's, median of pairs)"
table "$apply_data" installer dd

# The picture: time against payload size, one-file points only.
command -v gnuplot >/dev/null || { echo "== installing gnuplot"; apt-get install -y -qq gnuplot-nox >/dev/null; }
single() { [ -f "$1" ] && awk '!/^#/ && $1 == 1 && $2 >= 1' "$1" | sort -g -k2 -u; }
single "$pack_data" >"${TMPDIR:-/tmp}/brisko-pack.$$"
single "$apply_data" >"${TMPDIR:-/tmp}/brisko-apply.$$" || true
trap 'rm -f "${TMPDIR:-/tmp}"/brisko-{pack,apply}.$$' EXIT
plots="'${TMPDIR:-/tmp}/brisko-pack.$$' using 2:3 with linespoints title 'briskopack build', '' using 2:4 with linespoints title 'cat stub payload > out'"
[ -s "${TMPDIR:-/tmp}/brisko-apply.$$" ] && plots+=", '${TMPDIR:-/tmp}/brisko-apply.$$' using 2:3 with linespoints title 'installer (wine64), writing', '' using 2:4 with linespoints title 'dd conv=fsync'"
gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font "sans,10"
set output "docs/performance.png"
set title "Time against payload size (one file; medians)"
set xlabel "payload, MiB"
set ylabel "time, s"
set logscale xy
set xrange [0.7:1500]
set key top left
set grid
plot $plots
GNUPLOT
echo
echo "drew docs/performance.png"
