#!/usr/bin/env bash
# Weak-signal sweep: character similarity of each demodulator over signal-to-noise ratio, for the teleprinter
# rates and shifts, NAVTEX and SITOR-A, in white noise and optionally with a two-path Rayleigh fade. sirrel-gen
# makes each signal, the fade and the noise are added here, sirrel-decode decodes it with manual tones and rate.
# A cell is the mean over the seeds of 1 - edit distance / sent length, floored at 0, with ITA2 figures folded
# to their letters so that a lost shift does not count. Noise power is counted in a 3 kHz band.
# A developer tool: no test depends on it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
usage: scripts/weak_sweep.sh [options]
  --build DIR        build folder with bin/sirrel-gen and bin/sirrel-decode (default build)
  --seeds N          noise seeds per cell (default 3)
  --snrs "LIST"      signal-to-noise ratios in dB (default 10 down to -12 in 1 dB steps)
  --rows "LIST"      of: tty45-170 tty50-170 tty75-170 tty45-425 tty50-425 tty75-425 navtex sitor-a
                     sitor-a-quiet (the other station not heard in the gaps) (default all)
  --demods "LIST"    sirrel-decode --demod values, one table each (default "correlative weak")
  --fade             two-path Rayleigh fade (0.2 Hz Doppler, 2 ms apart) before the noise
  --pad S            S seconds of noise alone before and after each signal (default 0)
  --tsv FILE         also keep every run's result (row, demod, snr, seed, similarity)
EOF
}

me=weak_sweep
. scripts/sweep_common.sh
snrs=$(seq 10 -1 -12 | tr '\n' ' ')
rows="tty45-170 tty50-170 tty75-170 tty45-425 tty50-425 tty75-425 navtex sitor-a sitor-a-quiet"
demods="correlative weak"
fade=0
pad=0
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rows) rows=${2//,/ }; shift ;;
    --demods) demods=${2//,/ }; shift ;;
    --fade) fade=1 ;;
    --pad) pad=$2; shift ;;
    --tsv) keep=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    *) sweep_option "$@" || { usage >&2; exit 2; }; shift ;;
  esac
  shift
done
case "$pad" in ''|*[!0-9.]*|*.*.*) echo "$me: --pad takes a number of seconds" >&2; exit 2 ;; esac
sweep_check sirrel-gen sirrel-decode
sweep_workdir sirrel-weak
printf '%s' "$text" >"$work/text.txt"

make_signal() {
  local out=$1 row=$2
  case "$row" in
    tty*)
      local baud=${row#tty}; baud=${baud%-*}; local shift=${row#*-}
      [ "$baud" = 45 ] && baud=45.45
      "$gen" -o "$out" --amplitude 0.02 --baud "$baud" --space 1275 --mark $((1275 + shift)) "$text" ;;
    navtex) "$gen" -o "$out" --amplitude 0.02 --mode fec --baud 100 --space 1000 --mark 1170 "$text" ;;
    sitor-a | sitor-a-quiet)
      local gap=reversals
      [ "$row" = sitor-a-quiet ] && gap=quiet
      "$gen" -o "$out" --amplitude 0.02 --mode arq --baud 100 --chars-in-cycle 3 --cycle-length 45 \
        --charset ccir476 --gap "$gap" --space 1000 --mark 1170 "$text" ;;
    *) echo "weak_sweep: unknown row $row" >&2; exit 2 ;;
  esac
}
decode_args() {
  local row=$1
  case "$row" in
    tty*)
      local baud=${row#tty}; baud=${baud%-*}; local shift=${row#*-}
      [ "$baud" = 45 ] && baud=45.45
      echo "--protocol Baudot --tune manual --space 1275 --mark $((1275 + shift)) --baud-mode manual --baud $baud" ;;
    navtex) echo "--protocol NAVTEX --tune manual --space 1000 --mark 1170 --baud-mode manual --baud 100" ;;
    sitor-a*) echo "--protocol SITOR-A --tune manual --space 1000 --mark 1170 --baud-mode manual --baud 100" ;;
  esac
}

: >"$work/results.tsv"
for row in $rows; do
  make_signal "$work/$row.wav" "$row" >/dev/null
  [ "$pad" = 0 ] || py pad "$work/$row.wav" "$work/$row.wav" "$pad"
  read -r -a args <<<"$(decode_args "$row")"
  for snr in $snrs; do
    for seed in $(seq 1 "$seeds"); do
      py signal "$work/$row.wav" "$work/noisy.wav" "$snr" "$seed" "$fade"
      for demod in $demods; do
        "$dec" -q --color never "${args[@]}" --demod "$demod" "$work/noisy.wav" >"$work/decoded.txt" 2>/dev/null || true
        acc=$(py similarity "$work/text.txt" "$work/decoded.txt")
        printf '%s\t%s\t%s\t%s\t%s\n' "$row" "$demod" "$snr" "$seed" "$acc" >>"$work/results.tsv"
      done
    done
  done
done
[ -n "$keep" ] && cp "$work/results.tsv" "$keep"
py demod-table "$work/results.tsv" "$snrs"
