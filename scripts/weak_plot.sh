#!/usr/bin/env bash
# Plots the runs kept by `scripts/weak_sweep.sh --tsv FILE` (row, demod, snr, seed, similarity): character
# similarity over SNR, one line per row and demodulator, each point the mean over the seeds. Rows keep their
# colour, demodulators their dash and point style. Uses gnuplot, installed here when missing.
# A developer tool: no test depends on it.
set -euo pipefail

usage() {
  cat <<'EOF2'
usage: scripts/weak_plot.sh [options] RESULTS.tsv [OUT.png]
  OUT.png            default docs/weak-sweep.png of the repository
  --title "TEXT"     title above the plot (default "Character similarity in white noise, mean over the seeds")
EOF2
}

title="Character similarity in white noise, mean over the seeds"
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --title) title=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) usage >&2; exit 2 ;;
    *) args+=("$1") ;;
  esac
  shift
done
if [ ${#args[@]} -lt 1 ] || [ ${#args[@]} -gt 2 ]; then usage >&2; exit 2; fi
tsv=${args[0]}
out=${args[1]:-$(cd "$(dirname "$0")/.." && pwd)/docs/weak-sweep.png}
[ -s "$tsv" ] || { echo "weak_plot: $tsv is missing or empty" >&2; exit 2; }
mkdir -p "$(dirname "$out")"

if ! command -v gnuplot >/dev/null; then
  echo "Installing: gnuplot-nox"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q gnuplot-nox
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sirrel-plot-XXXXXX")
trap 'rm -rf "$work"' EXIT

# One data file per (row, demod) in the order of first appearance; "row<TAB>demod<TAB>file<TAB>row index<TAB>
# demod index" lists them.
awk -F'\t' -v dir="$work" '
  NF != 5 { printf "weak_plot: line %d is not row, demod, snr, seed, similarity\n", NR > "/dev/stderr"; bad = 1; exit 1 }
  !($1 in rowIndex) { rowIndex[$1] = rows++ }
  !($2 in demodIndex) { demodIndex[$2] = demods++ }
  !(($1, $2) in file) {
    file[$1, $2] = sprintf("%s/series%d.dat", dir, series++)
    printf "%s\t%s\t%s\t%d\t%d\n", $1, $2, file[$1, $2], rowIndex[$1], demodIndex[$2] > (dir "/series.tsv")
  }
  { print $3, $5 > file[$1, $2] }
  END { if (bad) exit 1; print demods > (dir "/demods") }
' "$tsv"

demods=$(cat "$work/demods")
colours=('#1f77b4' '#d62728' '#2ca02c' '#9467bd' '#ff7f0e' '#8c564b' '#17becf' '#7f7f7f')
plots=()
while IFS=$'\t' read -r row demod file r d; do
  # The last demodulator (the newest) is drawn solid with filled points, the others dashed with open ones.
  dash=$((demods - d))
  point=$((d == demods - 1 ? 7 : 6))
  plots+=("'$file' using 1:2 smooth unique with linespoints lw 2 dt $dash pt $point ps 1.2 \
lc rgb '${colours[r % ${#colours[@]}]}' title '$row, $demod'")
done <"$work/series.tsv"

{
  echo "set terminal pngcairo size 1000,650 font 'Liberation Sans,12'"
  echo "set output '$out'"
  echo "set title '$title'"
  echo "set xlabel 'SNR in 3 kHz (dB)'"
  echo "set ylabel 'character similarity'"
  echo "set yrange [0:1.02]"
  echo "set ytics 0.1"
  echo "set xtics 1"
  echo "set grid"
  echo "set key right bottom box opaque"
  printf 'plot '
  (IFS=','; echo "${plots[*]}")
} >"$work/plot.gp"
gnuplot "$work/plot.gp"
echo "weak_plot: wrote $out"
