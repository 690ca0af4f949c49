"""Helpers of the sweep scripts: noise, signals with noise and fade, similarity with the sent text, tables."""
import array, cmath, math, random, re, sys, wave

RATE = 11025
# ITA2 figures and the letters that share their codes.
FOLD = str.maketrans("3-'87*4,!:(5+)2#6019?&./=", 'EASIUDRNFCKTZLWHYPQOBGMXV')


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


def scale(snr, rate, amplitude, sigma):
    # Signal power over noise power in 3 kHz; white noise spreads its power over rate / 2.
    signal = float(amplitude) ** 2 / 2
    noise = signal / 10 ** (float(snr) / 10) * (float(rate) / 2) / 3000
    print('%.6f' % (noise ** 0.5 / float(sigma)))


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
    clean = read(src)
    x = clean
    r = random.Random(int(seed) * 7919)
    if fade == '1':
        # Two paths 2 ms apart, each with its own Rayleigh envelope: fades that take one tone and not the
        # other come and go.
        d = int(0.002 * RATE)
        a, b = rayleigh(r, len(x), 0.2), rayleigh(r, len(x), 0.2)
        x = [(a[i] * x[i] + b[i] * (x[i - d] if i >= d else 0.0)) / math.sqrt(2) for i in range(len(x))]
    # The power while keyed: silent gaps and leads (exact zeros from the generators) do not lower it, so that a
    # signal with quiet stretches gets the same noise as a continuous one of its level.
    keyed = [v for v in clean if v != 0.0]
    power = sum(v * v for v in keyed) / max(len(keyed), 1)
    sigma = math.sqrt(power / 10 ** (float(snr) / 10) * (RATE / 2) / 3000)
    write(dst, [v + r.gauss(0.0, sigma) for v in x])


def pad(src, dst, seconds):
    # Silence before and after the signal: the noise added later fills it, as in a recording of a whole frequency.
    silence = [0.0] * int(round(float(seconds) * RATE))
    write(dst, silence + read(src) + silence)


def distance(a, b):
    prev = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        cur = [i]
        for j, cb in enumerate(b, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb)))
        prev = cur
    return prev[-1]


def words(s):
    return ' '.join(s.split())


def packet_info(s):
    # Frame headers ("SRC>DST <V2 UI C> :") are left out; the information lines follow them.
    return [l for l in s.splitlines() if l.strip() and not re.match(r'^\S+>\S+ <[^>]*> ?:$', l)]


def accuracy(sent_path, got_path, kind):
    sent = open(sent_path, encoding='utf-8', errors='replace').read()
    got = open(got_path, encoding='utf-8', errors='replace').read()
    if kind == 'packet':
        sent = ' '.join(l.split(': ', 1)[1] for l in sent.splitlines() if ': ' in l)
        got = ' '.join(packet_info(got))
    sent, got = words(sent), words(got)
    print('%.4f' % max(0.0, 1.0 - distance(got, sent) / max(len(sent), 1)))


def similarity(sent_path, got_path):
    # As accuracy, with upper case and figures folded to letters so that a lost shift does not count.
    sent = words(open(sent_path, encoding='utf-8', errors='replace').read()).upper().translate(FOLD)
    got = words(open(got_path, encoding='utf-8', errors='replace').read()).upper().translate(FOLD)
    print('%.4f' % max(0.0, 1.0 - distance(got, sent) / max(len(sent), 1)))


def table(path, snrs):
    # Rows of (row, snr, accuracy): one line per row, the mean over the seeds.
    cells, order = {}, []
    for line in open(path):
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


def demod_table(path, snrs):
    # Rows of (row, demod, snr, seed, similarity): one Markdown table per demodulator, the mean over the seeds.
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


COMMANDS = {
    'noise': lambda a: noise(*a[:5]),
    'scale': lambda a: scale(*a[:4]),
    'accuracy': lambda a: accuracy(*a[:3]),
    'table': lambda a: table(a[0], a[1].split()),
    'signal': lambda a: signal(*a[:5]),
    'pad': lambda a: pad(*a[:3]),
    'similarity': lambda a: similarity(*a[:2]),
    'demod-table': lambda a: demod_table(a[0], a[1].split()),
}

COMMANDS[sys.argv[1]](sys.argv[2:])
