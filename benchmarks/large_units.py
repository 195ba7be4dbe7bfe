"""Collections of thousands of distinct units: parsing, str() and loading a pickle state.

    PYTHONPATH=build/dev python benchmarks/large_units.py [--repeats N]

The text is a product of catalogue units, each distinct unit once: plain and prefixed symbols of every
catalogue row whose symbol can be typed in a term, so most units share their dimension vector with
hundreds of others (lengths, masses, times, energies, volumes ...), with exponents 1 to 4; seeded, cut
at a term boundary near 16.8 KB. Masses and lengths come first, in the numerator only; every other
dimension is split between both sides (see unit_text). The state holds 2,000 custom
units of one dimension with exponent 1 and 2,000 with exponent -1 (and a few other dimensions between
them), all of factor 1, so that telling two of them apart takes a comparison of their names.

Two rows divide quantities over the same 16,000 (64,000) custom units, so that all entries but two cancel.

Each row gives the median time of `--repeats` runs, its target, and the ratio of the time at n units to
the time at n/2 (about 2 for linear work, 4 for quadratic, 8 for cubic).
"""

from __future__ import annotations

import argparse
import pickle
import random
import statistics
import time

from tarvel import Tarvel

SYMBOLS = (
    "USD A cd K kg m mol s g rad sr Hz N Pa J W C V F S Wb T hr H lm lx Bq Gy Sv kat min d L t eV amu ft mi "
    "nmi kn are bar b Ci R rem lb in yd lbmol gal lbf gr slug qt pt cup tbsp tsp ton oz atm torr psi cal "
    "erg BTU hp hartree P y wk mo ly ac ha ct Wh dyn ua syr ayr decade century millenium pc mHg inHg trvlv "
    "trvlm flg ftnt ouths shed sol jfy c st dwt hundredweight gill ch rod pdl Ba kgf PS li"
).split()
PREFIXES = "Ki Mi Gi Ti Pi Ei Zi Yi Q R Y Z E P T G M k h da d c m u n p f a z y r q".split()
TEXT_BYTES = 16_800
SEED = 17


def distinct_terms(rng):
    """One spelling per distinct catalogue unit with its dimension vector, shuffled."""
    by_unit = {}
    for symbol in SYMBOLS:
        for prefix in [""] + PREFIXES:
            text = prefix + symbol
            try:
                units = Tarvel.unit(text).__reduce__()[1][0][2]
            except ValueError:
                continue
            if len(units) == 1:
                by_unit.setdefault(units[0][:5], text)
    terms = [(text, unit[4]) for unit, text in by_unit.items()]
    rng.shuffle(terms)
    return terms


def unit_text(limit, rng=None):
    """Masses and lengths in the numerator only, first; the units of every other dimension (or of its
    inverse, hertz against seconds) on both sides after them. Every exchange of the cancellation then
    happens behind a long run of units that have no partner."""
    rng = rng or random.Random(SEED)
    one_sided = {(0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0), (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)}
    first, numerator, denominator = [], [], []
    size = 1
    for term, vector in distinct_terms(rng):
        piece = term + rng.choice(["", "", "2", "3", "4"])
        if size + len(piece) + 1 > limit:
            break
        size += len(piece) + 1
        if tuple(vector) in one_sided:
            first.append(piece)
        else:
            (numerator if rng.random() < 0.5 else denominator).append(piece)
    return ".".join(first + numerator) + "/" + ".".join(denominator)


def state(half):
    """A state with `half` units of exponent 1 and `half` of exponent -1."""
    length = (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)
    time_ = (0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0)
    units = []
    for i in range(2 * half):
        vector = time_ if i % 50 == 0 else length
        exponent = 1.0 if i < half else -1.0
        units.append((f"custom unit {i}", f"cu{i}", 0.0, 1.0, vector, exponent))
    dimensions = tuple(sum(u[4][k] * u[5] for u in units) + 0.0 for k in range(8))
    return (1, 1.0, tuple(units), dimensions, 1.0)


def custom_state(count, exponent, first=0):
    """A state of `count` custom units of length from number `first` on, each with this exponent."""
    length = (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)
    units = tuple((f"custom unit {i}", f"cu{i}", 0.0, 1.0, length, exponent) for i in range(first, first + count))
    dimensions = tuple(length[k] * count * exponent + 0.0 for k in range(8))
    return (1, 1.0, units, dimensions, 1.0)


def median_seconds(run, repeats):
    times = []
    for _ in range(repeats):
        prepared = run.prepare()
        start = time.perf_counter()
        run(prepared)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


class Parse:
    def __init__(self, text):
        self.text = text

    def prepare(self):
        return self.text

    def __call__(self, text):
        Tarvel.unit(text)


class Str:
    # str() normalises its quantity in place, so each run gets a freshly parsed one.
    def __init__(self, text):
        self.text = text

    def prepare(self):
        return Tarvel.unit(self.text)

    def __call__(self, q):
        str(q)


class Load:
    def __init__(self, half):
        self.blob = pickle.dumps(Tarvel._from_state(state(half)))

    def prepare(self):
        return self.blob

    def __call__(self, blob):
        pickle.loads(blob)


class Cancel:
    # A quotient of two quantities over nearly the same custom units: all entries but two cancel.
    # Fresh operands each run: a result cached for the same operands would measure nothing.
    def __init__(self, count):
        self.a = custom_state(count, 2.0)
        self.b = custom_state(count, 2.0, first=1)

    def prepare(self):
        return Tarvel._from_state(self.a), Tarvel._from_state(self.b)

    def __call__(self, operands):
        operands[0] / operands[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()

    text = unit_text(TEXT_BYTES)
    half_text = unit_text(TEXT_BYTES // 2)
    q = Tarvel.unit(text)
    print(f"text: {len(text.encode())} bytes, {len(q.__reduce__()[1][0][2])} distinct units")
    rows = [
        ("parse the 16.8 KB text", Parse(text), Parse(half_text), None),
        ("str() of the 16.8 KB text", Str(text), Str(half_text), 10e-3),
        ("load a 2,000 + 2,000-unit state", Load(2000), Load(1000), 20e-3),
        ("quotient cancelling 16,000 entries", Cancel(16000), Cancel(8000), None),
        ("quotient cancelling 64,000 entries", Cancel(64000), Cancel(32000), None),
    ]
    print(f"{'row':36} {'median ms':>10} {'target ms':>10} {'n / (n/2)':>10}")
    for name, full, half, target in rows:
        seconds = median_seconds(full, args.repeats)
        half_seconds = median_seconds(half, args.repeats)
        target_text = f"{target * 1e3:10.1f}" if target else f"{'':>10}"
        print(f"{name:36} {seconds * 1e3:10.2f} {target_text} {seconds / half_seconds:10.2f}")


if __name__ == "__main__":
    main()
