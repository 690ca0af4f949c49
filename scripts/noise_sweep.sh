#!/usr/bin/env bash
# Character accuracy of the stock protocols in white noise: sirrel-gen makes each signal, sox adds noise of a
# given signal-to-noise ratio (noise power counted in a 3 kHz band), sirrel-decode decodes it. Each cell is the
# mean over the seeds of 1 - edit distance / sent length, floored at 0 (packet: the frames' information text).
# A developer tool: no test depends on it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
usage: scripts/noise_sweep.sh [options]
  --build DIR        build folder with bin/sirrel-gen and bin/sirrel-decode (default build)
  --seeds N          noise seeds per cell (default 3)
  --snrs "LIST"      signal-to-noise ratios in dB (default "30 20 10 5 0 -3 -6")
  --quick            SNR 20, 5 and 0 with one seed
  --protocols "LIST" rows, of: baudot baudot-manual navtex sitor-a packet-1200 (default all)
  --extra "ARGS"     more sirrel-decode arguments for every row, e.g. "--fec-correction off"
  --verbose          also print every run's accuracy
EOF
}

build=build
seeds=3
snrs="30 20 10 5 0 -3 -6"
rows="baudot baudot-manual navtex sitor-a packet-1200"
extra=""
verbose=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift ;;
    --seeds) seeds=$2; shift ;;
    --snrs) snrs=$2; shift ;;
    --quick) snrs="20 5 0"; seeds=1 ;;
    --protocols) rows=${2//,/ }; shift ;;
    --extra) extra=$2; shift ;;
    --verbose) verbose=1 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
  shift
done
case "$seeds" in ''|*[!0-9]*|0) echo "noise_sweep: --seeds takes a positive number" >&2; exit 2 ;; esac
gen=$build/bin/sirrel-gen
dec=$build/bin/sirrel-decode
for tool in "$gen" "$dec"; do
  [ -x "$tool" ] || { echo "noise_sweep: $tool is missing (build it first)" >&2; exit 2; }
done
command -v sox >/dev/null || { echo "noise_sweep: sox is not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sirrel-sweep-XXXXXX")
trap 'rm -rf "$work"' EXIT
# Stored protocols of the user must not change the stock ones.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" KEL_REGISTRY="$work/registry.ini"
unset KEL_PLUGIN_PATH

rate=11025
amplitude=0.05
# Noise is stored at this level (share of full scale, standard deviation) and scaled by sox.
noise_sigma=0.2
text="THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 CQ CQ DE SIRREL. WEATHER REPORT, WIND NORTH WEST 5,\
 SEA MODERATE, VISIBILITY GOOD. NEXT REPORT AT 1200 UTC. PACK MY BOX WITH FIVE DOZEN LIQUOR JUGS (73).\
 SPHINX OF BLACK QUARTZ, JUDGE MY VOW - END OF MESSAGE"
frames=""
for i in 1 2 3 4 5 6; do
  frames+="N0CALL>TEST: frame $i of the sweep, the quick brown fox jumps over the lazy dog"$'\n'
done

cat >"$work/sweep.py" <<'EOF'
import random, re, sys, wave, array

def noise(seed, count, sigma, path, rate):
    r = random.Random(int(seed))
    s = float(sigma) * 32767
    samples = array.array('h', (max(-32767, min(32767, int(round(r.gauss(0.0, s))))) for _ in range(int(count))))
    if sys.byteorder == 'big':
        samples.byteswap()
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(int(rate))
        w.writeframes(samples.tobytes())

def words(s):
    return ' '.join(s.split())

def packet_info(s):
    # Frame headers ("SRC>DST <V2 UI C> :") are left out; the information lines follow them.
    return [l for l in s.splitlines() if l.strip() and not re.match(r'^\S+>\S+ <[^>]*> ?:$', l)]

def distance(a, b):
    prev = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        cur = [i]
        for j, cb in enumerate(b, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb)))
        prev = cur
    return prev[-1]

def accuracy(sent_path, got_path, kind):
    sent = open(sent_path, encoding='utf-8', errors='replace').read()
    got = open(got_path, encoding='utf-8', errors='replace').read()
    if kind == 'packet':
        sent = ' '.join(l.split(': ', 1)[1] for l in sent.splitlines() if ': ' in l)
        got = ' '.join(packet_info(got))
    sent, got = words(sent), words(got)
    print('%.4f' % max(0.0, 1.0 - distance(got, sent) / max(len(sent), 1)))

def scale(snr, rate, amplitude, sigma):
    # Signal power over noise power in 3 kHz; white noise spreads its power over rate / 2.
    signal = float(amplitude) ** 2 / 2
    noise = signal / 10 ** (float(snr) / 10) * (float(rate) / 2) / 3000
    print('%.6f' % (noise ** 0.5 / float(sigma)))

if sys.argv[1] == 'noise':
    noise(*sys.argv[2:7])
elif sys.argv[1] == 'accuracy':
    accuracy(*sys.argv[2:5])
elif sys.argv[1] == 'scale':
    scale(*sys.argv[2:6])
elif sys.argv[1] == 'table':
    cells, order, snrs = {}, [], sys.argv[3].split()
    for line in open(sys.argv[2]):
        row, snr, acc = line.rstrip('\n').split('\t')
        if row not in order:
            order.append(row)
        cells.setdefault((row, snr), []).append(float(acc))
    width = max(len(r) for r in order) + 2
    print('SNR dB'.ljust(width) + ''.join('%7s' % s for s in snrs))
    for row in order:
        print(row.ljust(width) + ''.join(
            '%7.2f' % (sum(cells[(row, s)]) / len(cells[(row, s)])) if (row, s) in cells else '%7s' % '-'
            for s in snrs))
EOF
# The interpreter itself: a version manager's wrapper would start for every call.
python=$(python3 -c 'import sys; print(sys.executable)')
py() { "$python" "$work/sweep.py" "$@"; }

# Each row: its label, how the signal is made, how it is decoded, which text it carries.
row_label() {
  case "$1" in
    baudot) echo "Baudot" ;;
    baudot-manual) echo "Baudot, manual 45.45" ;;
    navtex) echo "NAVTEX" ;;
    sitor-a) echo "SITOR-A" ;;
    packet-1200) echo "Packet Radio - 1200bps" ;;
    *) echo "noise_sweep: unknown row $1" >&2; exit 2 ;;
  esac
}
make_signal() {
  local out=$1
  case "$2" in
    baudot|baudot-manual) "$gen" -o "$out" --amplitude $amplitude --baud 45.45 --space 1275 --mark 1445 "$text" ;;
    navtex) "$gen" -o "$out" --amplitude $amplitude --mode fec --baud 100 --space 1000 --mark 1170 "$text" ;;
    sitor-a)
      "$gen" -o "$out" --amplitude $amplitude --mode arq --baud 100 --chars-in-cycle 3 --cycle-length 45 \
        --charset ccir476 --space 1000 --mark 1170 "$text" ;;
    packet-1200) "$gen" -o "$out" --amplitude $amplitude --mode packet --baud 1200 --space 2200 --mark 1200 "$frames" ;;
  esac
}
decode() {
  local in=$1 row=$2
  local -a args
  case "$row" in
    baudot) args=(--protocol Baudot) ;;
    baudot-manual) args=(--protocol Baudot --baud-mode manual --baud 45.45) ;;
    navtex) args=(--protocol NAVTEX) ;;
    sitor-a) args=(--protocol SITOR-A) ;;
    packet-1200) args=(--protocol 'Packet Radio - 1200bps') ;;
  esac
  # shellcheck disable=SC2086 # --extra is split into words on purpose
  "$dec" -q --color never "${args[@]}" $extra "$in" || true
}

for row in $rows; do row_label "$row" >/dev/null; done
printf '%s' "$text" >"$work/text.txt"
printf '%s' "$frames" >"$work/frames.txt"

longest=0
for row in $rows; do
  make_signal "$work/$row.wav" "$row" >/dev/null
  longest=$(( $(soxi -s "$work/$row.wav") > longest ? $(soxi -s "$work/$row.wav") : longest ))
done
for seed in $(seq 1 "$seeds"); do
  py noise "$seed" "$longest" "$noise_sigma" "$work/noise$seed.wav" "$rate"
done

: >"$work/results.tsv"
for row in $rows; do
  label=$(row_label "$row")
  samples=$(soxi -s "$work/$row.wav")
  sent=$work/text.txt kind=text
  [ "$row" = packet-1200 ] && sent=$work/frames.txt kind=packet
  for snr in $snrs; do
    gain=$(py scale "$snr" "$rate" "$amplitude" "$noise_sigma")
    for seed in $(seq 1 "$seeds"); do
      sox -V1 -D -R -m -v 1 "$work/$row.wav" -v "$gain" "$work/noise$seed.wav" "$work/noisy.wav" trim 0 "${samples}s"
      decode "$work/noisy.wav" "$row" >"$work/decoded.txt" 2>/dev/null
      acc=$(py accuracy "$sent" "$work/decoded.txt" "$kind")
      [ "$verbose" -eq 1 ] && printf '%-24s %4s dB seed %d: %s\n' "$label" "$snr" "$seed" "$acc" >&2
      printf '%s\t%s\t%s\n' "$label" "$snr" "$acc" >>"$work/results.tsv"
    done
  done
done
py table "$work/results.tsv" "$snrs"
