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
                     (default all)
  --demods "LIST"    sirrel-decode --demod values, one table each (default "correlative weak")
  --fade             two-path Rayleigh fade (0.2 Hz Doppler, 2 ms apart) before the noise
  --tsv FILE         also keep every run's result (row, demod, snr, seed, similarity)
EOF
}

build=build
seeds=3
snrs=$(seq 10 -1 -12 | tr '\n' ' ')
rows="tty45-170 tty50-170 tty75-170 tty45-425 tty50-425 tty75-425 navtex sitor-a"
demods="correlative weak"
fade=0
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift ;;
    --seeds) seeds=$2; shift ;;
    --snrs) snrs=$2; shift ;;
    --rows) rows=${2//,/ }; shift ;;
    --demods) demods=${2//,/ }; shift ;;
    --fade) fade=1 ;;
    --tsv) keep=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
  shift
done
case "$seeds" in ''|*[!0-9]*|0) echo "weak_sweep: --seeds takes a positive number" >&2; exit 2 ;; esac
gen=$build/bin/sirrel-gen
dec=$build/bin/sirrel-decode
for tool in "$gen" "$dec"; do
  [ -x "$tool" ] || { echo "weak_sweep: $tool is missing (build it first)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sirrel-weak-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" KEL_REGISTRY="$work/registry.ini"
unset KEL_PLUGIN_PATH

rate=11025
text="THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 CQ CQ DE SIRREL. WEATHER REPORT, WIND NORTH WEST 5,\
 SEA MODERATE, VISIBILITY GOOD. NEXT REPORT AT 1200 UTC. PACK MY BOX WITH FIVE DOZEN LIQUOR JUGS (73).\
 SPHINX OF BLACK QUARTZ, JUDGE MY VOW - END OF MESSAGE"
printf '%s' "$text" >"$work/text.txt"

cat >"$work/sweep.py" <<'EOF'
import array, cmath, math, random, sys, wave

# ITA2 figures and the letters that share their codes.
FOLD = str.maketrans("3-'87*4,!:(5+)2#6019?&./=", 'EASIUDRNFCKTZLWHYPQOBGMXV')

def read(path):
    with wave.open(path, 'rb') as w:
        a = array.array('h', w.readframes(w.getnframes()))
    if sys.byteorder == 'big':
        a.byteswap()
    return [v / 32768.0 for v in a]

def write(path, samples):
    a = array.array('h', (max(-32767, min(32767, int(round(v * 32768.0)))) for v in samples))
    if sys.byteorder == 'big':
        a.byteswap()
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(a.tobytes())

def rayleigh(r, count, doppler, paths=8):
    # Sum of equal rays from random directions: a complex gain of unit mean power, changed every 32 samples.
    rays = [(2 * math.pi * doppler * math.cos(r.uniform(0, 2 * math.pi)) / RATE, r.uniform(0, 2 * math.pi))
            for _ in range(paths)]
    out = []
    for i in range(0, count, 32):
        g = sum(cmath.exp(1j * (w * i + p)) for w, p in rays) / math.sqrt(paths)
        out.extend([abs(g)] * 32)
    return out[:count]

def signal(src, dst, snr, seed, fade):
    x = read(src)
    r = random.Random(int(seed) * 7919)
    if fade == '1':
        # Two paths 2 ms apart, each with its own Rayleigh envelope: fades that take one tone and not the
        # other come and go.
        d = int(0.002 * RATE)
        a, b = rayleigh(r, len(x), 0.2), rayleigh(r, len(x), 0.2)
        x = [(a[i] * x[i] + b[i] * (x[i - d] if i >= d else 0.0)) / math.sqrt(2) for i in range(len(x))]
    power = sum(v * v for v in read(src)) / len(x)
    sigma = math.sqrt(power / 10 ** (float(snr) / 10) * (RATE / 2) / 3000)
    write(dst, [v + r.gauss(0.0, sigma) for v in x])

def distance(a, b):
    prev = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        cur = [i]
        for j, cb in enumerate(b, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb)))
        prev = cur
    return prev[-1]

def similarity(sent_path, got_path):
    sent = ' '.join(open(sent_path, encoding='utf-8', errors='replace').read().split()).upper().translate(FOLD)
    got = ' '.join(open(got_path, encoding='utf-8', errors='replace').read().split()).upper().translate(FOLD)
    print('%.4f' % max(0.0, 1.0 - distance(got, sent) / max(len(sent), 1)))

def table(path, snrs):
    cells, rows, demods = {}, [], []
    for line in open(path):
        row, demod, snr, seed, acc = line.rstrip('\n').split('\t')
        if row not in rows:
            rows.append(row)
        if demod not in demods:
            demods.append(demod)
        cells.setdefault((row, demod, snr), []).append(float(acc))
    for demod in demods:
        print('\n%s' % demod)
        print('| SNR dB | ' + ' | '.join(snrs) + ' |')
        print('|---|' + '---|' * len(snrs))
        for row in rows:
            vals = [cells.get((row, demod, s)) for s in snrs]
            print('| %s | ' % row + ' | '.join('%.3f' % (sum(v) / len(v)) if v else '-' for v in vals) + ' |')

RATE = 11025
cmd = sys.argv[1]
if cmd == 'signal':
    signal(*sys.argv[2:7])
elif cmd == 'similarity':
    similarity(*sys.argv[2:4])
elif cmd == 'table':
    table(sys.argv[2], sys.argv[3].split())
EOF
python=$(python3 -c 'import sys; print(sys.executable)')
py() { "$python" "$work/sweep.py" "$@"; }

make_signal() {
  local out=$1 row=$2
  case "$row" in
    tty*)
      local baud=${row#tty}; baud=${baud%-*}; local shift=${row#*-}
      [ "$baud" = 45 ] && baud=45.45
      "$gen" -o "$out" --amplitude 0.02 --baud "$baud" --space 1275 --mark $((1275 + shift)) "$text" ;;
    navtex) "$gen" -o "$out" --amplitude 0.02 --mode fec --baud 100 --space 1000 --mark 1170 "$text" ;;
    sitor-a)
      "$gen" -o "$out" --amplitude 0.02 --mode arq --baud 100 --chars-in-cycle 3 --cycle-length 45 \
        --charset ccir476 --space 1000 --mark 1170 "$text" ;;
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
    sitor-a) echo "--protocol SITOR-A --tune manual --space 1000 --mark 1170 --baud-mode manual --baud 100" ;;
  esac
}

: >"$work/results.tsv"
for row in $rows; do
  make_signal "$work/$row.wav" "$row" >/dev/null
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
py table "$work/results.tsv" "$snrs"
