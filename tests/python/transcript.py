"""A seeded transcript of scalar operations, to show that a change of the core's internals changes no
result: parsing, arithmetic, text forms, simplification, conversions, rounding and pickling, errors
included. Each line is one operation and what it gave.

    python tests/python/transcript.py --write   # record the expected block hashes
    python tests/python/transcript.py --show N  # print block N
"""

import hashlib
import json
import pickle
import random
import sys
from pathlib import Path

import tarvel
from tarvel import LogTarvel, Tarvel

OPERATIONS = 100_000
BLOCK = 1_000
SEED = 20261208
EXPECTED = Path(__file__).with_name("data") / "transcript.json"

# Catalogue units of many dimensions, prefixed and named forms, and units that share a dimension (the
# cases the cancellation and the search work on).
UNITS = [
    "m", "km", "cm", "mm", "ft", "in", "mi", "yd", "kg", "g", "lb", "s", "min", "hr", "ms", "A", "mA",
    "K", "degC", "mol", "cd", "N", "J", "W", "Pa", "kPa", "bar", "V", "ohm", "C", "F", "T", "Wb", "H",
    "Hz", "L", "rad", "deg", "sr", "eV", "cal", "meter", "kilogram", "second", "newton", "joule",
    "kilometer", "USD",
]
EXPONENTS = ["", "", "", "2", "3", "4"]
NUMBERS = [0, 1, -1, 2, 3, 0.5, 1e-300, 1e300, 3.14159, -2.5e-7, 6.02e23, 1 / 3, 7, 1000, float("nan")]
LOG_TEXTS = ["20 [dB]", "3 [B]", "-10 [dB]", "1 [Np]", "0.5 [B]"]


def unit_text(rng, most):
    """A product of up to `most` units, a "/" before the denominator's."""
    terms = [rng.choice(UNITS) + rng.choice(EXPONENTS) for _ in range(rng.randint(1, most))]
    split = rng.randint(1, len(terms))
    text = ".".join(terms[:split])
    return text + "/" + ".".join(terms[split:]) if split < len(terms) else text


OPERATORS = [
    ("+", lambda a, b: a + b), ("-", lambda a, b: a - b), ("*", lambda a, b: a * b),
    ("/", lambda a, b: a / b), ("<", lambda a, b: a < b), ("==", lambda a, b: a == b),
]


def operation(rng, a, pool):
    """One operation on `a` (and perhaps another pool member): its description and the call. Operands
    are named by their number in the transcript, whose line shows them."""
    kind = rng.randrange(13)
    if kind == 0:
        text = f"{rng.choice(NUMBERS)!r} {unit_text(rng, 4)}"
        return f"parse {text}", lambda: Tarvel.parse(text)
    if kind == 1:
        text, number = unit_text(rng, 9 if rng.random() < 0.1 else 4), rng.choice(NUMBERS)
        return f"unit {text} * {number!r}", lambda: Tarvel.unit(text) * number
    if kind in (2, 3):
        name, op = rng.choice(OPERATORS)
        side = rng.randrange(3)
        b = rng.choice(pool) if side == 0 else (rng.choice(NUMBERS) if side == 1 else unit_text(rng, 2))
        left, right = (a, b) if rng.random() < 0.5 else (b, a)
        return f"{name_of(left)} {name} {name_of(right)}", lambda: op(left, right)
    if kind == 4:
        p = rng.choice([2, 3, -1, -2, 0.5, 1.5, 0, 9])
        return f"{name_of(a)} ** {p}", lambda: a**p
    if kind == 5:
        form = rng.choice(["__str__", "latex", "descriptive", "unit_text", "dimensions"])
        return f"{name_of(a)}.{form}", lambda: getattr(a, form)()
    if kind == 6:
        return f"{name_of(a)}.simplify", a.simplify
    if kind == 7:
        target = unit_text(rng, 3)
        return f"{name_of(a)}.as_unit {target}", lambda: a.as_unit(target)
    if kind == 8:
        form = rng.choice(["as_base_units", "as_unitless", "as_number"])
        return f"{name_of(a)}.{form}", getattr(a, form)
    if kind == 9:
        digits, figures = rng.choice([None, 0, 2, -1, 5]), rng.randint(1, 6)
        return f"round {name_of(a)} {digits} / {figures}", lambda: f"{round(a, digits)!r} {a.round_sfig(figures)!r}"
    if kind == 10:
        def round_trip():
            data = pickle.dumps(a, protocol=4)
            return f"{hashlib.sha256(data).hexdigest()[:16]} {pickle.loads(data)!r}"
        return f"pickle {name_of(a)}", round_trip
    if kind == 11:
        # An operand in other units of the same dimensions, so that conversions and sums succeed.
        other = rng.choice(["as_base_units", "simplify"])
        def mixed():
            b = getattr(a, other)()
            return f"{a + b!r} {b - a!r} {(a * b).simplify()!r} {a.as_unit(b.unit_text()[1:-1] or '')!r}"
        return f"{name_of(a)} and its {other}", mixed
    text = rng.choice(LOG_TEXTS)
    return f"log {text}", lambda: f"{LogTarvel.parse(text)!r} {LogTarvel.parse(text) + LogTarvel.parse(text)!r}"


NAMES = {}


def name_of(operand):
    return f"#{NAMES[id(operand)]}" if isinstance(operand, Tarvel) else repr(operand)


def transcript_lines(count=OPERATIONS, seed=SEED, budget_lines=None):
    """The transcript and the numbers of its lines whose simplification search ran out of budget.

    Quantities that operations return become operands of later ones, except where a search ran out of
    budget: such an answer depends on the budget, so its line shows only what was asked. Those lines
    are the recorded ones when `budget_lines` is given, else the ones this run meets."""
    rng = random.Random(seed)
    pool = [Tarvel.unit("m")]
    NAMES.clear()
    NAMES[id(pool[0])] = -1
    lines, met = [], []
    for number in range(count):
        a = rng.choice(pool)
        description, call = operation(rng, a, pool)
        before = tarvel._search_budget_exhaustions()
        try:
            value = call()
            text = repr(value)
        except Exception as error:  # errors are results too
            value, text = None, f"! {type(error).__name__}: {error}"
        if tarvel._search_budget_exhaustions() != before:
            met.append(number)
        if (number in budget_lines) if budget_lines is not None else (met and met[-1] == number):
            lines.append(f"{description} -> (out of budget)")
            continue
        if isinstance(value, Tarvel) and id(value) not in NAMES:
            NAMES[id(value)] = number
            pool.append(value)
            if len(pool) > 64:
                del NAMES[id(pool.pop(rng.randrange(len(pool))))]
        lines.append(f"{description} -> {text}")
    return lines, met


def block_hashes(lines):
    return [
        hashlib.sha256("\n".join(lines[i : i + BLOCK]).encode()).hexdigest()[:16]
        for i in range(0, len(lines), BLOCK)
    ]


def recorded():
    return json.loads(EXPECTED.read_text())


if __name__ == "__main__":
    if sys.argv[1:2] == ["--write"]:
        lines, met = transcript_lines()
        EXPECTED.parent.mkdir(exist_ok=True)
        record = {"seed": SEED, "operations": OPERATIONS, "budget_lines": met, "blocks": block_hashes(lines)}
        EXPECTED.write_text(json.dumps(record, separators=(",", ":")) + "\n")
        print(f"{len(lines)} operations recorded, {len(met)} out of budget")
    elif sys.argv[1:2] == ["--show"]:
        block = int(sys.argv[2])
        lines, _ = transcript_lines((block + 1) * BLOCK, budget_lines=set(recorded()["budget_lines"]))
        print("\n".join(lines[block * BLOCK :]))
