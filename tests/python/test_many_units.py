"""Collections of many units. The pairwise cancellation against a literal transcription of its defining
scan (quadratic per pass, so only for small inputs): collections come in through a pickle state, which
keeps every unit, exponent and order, and a product with 1.0 applies the cancellation. Parsing long
texts against a model of how terms merge."""

import math

from hypothesis import given, settings
from hypothesis import strategies as st

from tarvel import Tarvel

LENGTH = (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)
# A few vectors, each with its negation, and the empty one: most pairs are related.
VECTORS = [
    LENGTH,
    (0.0, 0.0, 0.0, 0.0, 0.0, -1.0, 0.0, 0.0),
    (0.0, 0.0, 0.0, 0.0, 1.0, 2.0, 0.0, -2.0),
    (0.0, 0.0, 0.0, 0.0, -1.0, -2.0, 0.0, 2.0),
    (0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -1.0),
    (0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0),
    (0.0, 0.5, 0.0, 0.0, 0.0, -1.5, 0.0, 0.0),
    (0.0, -0.5, 0.0, 0.0, 0.0, 1.5, 0.0, 0.0),
    (0.0,) * 8,
]
EXPONENTS = [1.0, -1.0, 2.0, -2.0, 3.0, -3.0, 0.5, -0.5, 1.5, -2.25, 4.0, -7.0, 0.0, -0.0]
FACTORS = [1.0, 0.3048, 1000.0, 3600.0, 1e-3]


def related(a, b):
    if all(x == y for x, y in zip(a, b)):
        return "equal"
    if all(x == -y for x, y in zip(a, b)):
        return "opposite"
    return None


def reference_cancellation(entries):
    """The scan as first written: restart at the first exchange until a pass finds none."""
    n = len(entries)
    working = [exponent for _, exponent in entries]
    present = [True] * n
    exchanged = set()
    kinds = {(a, b): related(entries[a][0], entries[b][0]) for a in range(n) for b in range(n) if a != b}
    changed = False
    while True:
        found = None
        for a in range(n):
            if not present[a]:
                continue
            for b in range(n):
                if b == a or not present[b] or kinds[a, b] is None or frozenset((a, b)) in exchanged:
                    continue
                same_sign = math.copysign(1, working[a]) == math.copysign(1, working[b])
                if (kinds[a, b] == "equal") == same_sign:
                    continue
                found = (a, b)
                break
            if found:
                break
        if not found:
            break
        a, b = found
        wa, wb = working[a], working[b]
        if kinds[a, b] == "equal":
            x = abs(wa) if abs(wa) < abs(wb) else abs(wb)
            if math.copysign(1, wa) < 0:
                wa, wb = wa + x, wb - x
            else:
                wa, wb = wa - x, wb + x
        else:
            x = wa if wa < wb else wb
            wa, wb = wa - x, wb - x
        working[a], working[b] = wa, wb
        present[a], present[b] = wa != 0.0, wb != 0.0
        exchanged.add(frozenset((a, b)))
        changed = True
    if not changed:
        return [exponent for _, exponent in entries], list(range(n))
    kept = [i for i in range(n) if present[i]]
    return [working[i] for i in kept], kept


def state_of(entries, factors):
    units = tuple(
        (f"unit {i}", f"u{i}", 0.0, factors[i], vector, exponent)
        for i, ((vector, exponent)) in enumerate(entries)
    )
    dimensions = tuple(math.fsum(e * v[k] for v, e in entries) + 0.0 for k in range(8))
    factor = math.prod(f**e for f, (_, e) in zip(factors, entries))
    return (1, 2.5, units, dimensions, factor)


@settings(max_examples=300, deadline=None)
@given(st.data())
def test_cancellation_matches_the_literal_scan(data):
    n = data.draw(st.integers(2, 40))
    vectors = data.draw(st.lists(st.sampled_from(VECTORS), min_size=n, max_size=n))
    exponents = data.draw(st.lists(st.sampled_from(EXPONENTS), min_size=n, max_size=n))
    factors = data.draw(st.lists(st.sampled_from(FACTORS), min_size=n, max_size=n))
    entries = list(zip(vectors, exponents))
    q = Tarvel._from_state(state_of(entries, factors))

    cancelled = (q * 1.0).__reduce__()[1][0]
    expected_exponents, kept = reference_cancellation(entries)
    names = [unit[0] for unit in cancelled[2]]
    exponents_out = [unit[5] for unit in cancelled[2]]
    assert names == [f"unit {i}" for i in kept]
    # Bit for bit, the sign of zero included.
    assert [math.copysign(1, e) * abs(e) for e in exponents_out] == expected_exponents
    assert [math.copysign(1, e) for e in exponents_out] == [math.copysign(1, e) for e in expected_exponents]
    assert cancelled[3] == q.__reduce__()[1][0][3]


def test_cancellation_of_thousands_of_units_keeps_the_survivor_of_each_class():
    # 3,000 lengths with exponent 1 then 3,000 with -1 and one more -1: everything cancels but the
    # last, whatever the size (the literal scan would take minutes here).
    n = 3000
    entries = [(LENGTH, 1.0)] * n + [(LENGTH, -1.0)] * (n + 1)
    q = Tarvel._from_state(state_of(entries, [1.0] * len(entries)))
    units = (q * 1.0).__reduce__()[1][0][2]
    assert [(unit[0], unit[5]) for unit in units] == [(f"unit {2 * n}", -1.0)]


PREFIXES = ["", "k", "m", "M", "u", "n", "G", "c", "d", "da", "p", "Ki", "h", "f", "T"]
SYMBOLS = ["m", "g", "s", "J", "W", "Pa", "L", "ft", "lb", "hr", "eV", "N", "V", "Hz", "bar", "cal"]
TERMS = [prefix + symbol for prefix in PREFIXES for symbol in SYMBOLS]


def unit_of(term):
    (unit,) = Tarvel.unit(term).__reduce__()[1][0][2]
    return unit[0]


@settings(max_examples=60, deadline=None)
@given(
    st.lists(
        st.tuples(st.sampled_from(TERMS), st.sampled_from(["", "2", "3"]), st.booleans()),
        min_size=1,
        max_size=400,
    )
)
def test_parsing_many_terms_merges_them_in_order(terms):
    # A unit met again adds to its entry; an entry whose exponent becomes 0 goes, and comes back at the
    # end if met once more. Maps of hundreds of units are indexed: this checks the index too.
    numerator = [term + digit for term, digit, below in terms if not below]
    denominator = [term + digit for term, digit, below in terms if below]
    expected = {}
    for (term, digit, below) in [t for t in terms if not t[2]] + [t for t in terms if t[2]]:
        name = unit_of(term)
        added = -float(digit or 1) if below else float(digit or 1)
        merged = expected.get(name, 0.0) + added
        if merged != 0.0:
            expected[name] = merged
        else:
            del expected[name]
    text = ".".join(numerator) + ("/" + ".".join(denominator) if denominator else "")
    if not expected:
        return
    units = Tarvel.unit(text).__reduce__()[1][0][2]
    assert [(unit[0], unit[5]) for unit in units] == list(expected.items())
