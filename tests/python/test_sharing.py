"""Quantities share their unit collections and the operations remember their unit work: neither may
change an answer, whatever order the operations come in, and a quantity stays small."""

import copy
import gc
import pickle
import sys
import tracemalloc

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tarvel import Tarvel

TEXTS = ["m", "km", "hr", "km/hr", "m/s", "kg.m/s2", "N", "ft", "m.ft", "°C", "1/s", "J/kg", "g",
         "mol/L", "W.s", "kg.m2/s3.A"]


def outcome(operation, a, b):
    try:
        result = operation(a, b)
    except Exception as error:  # the error itself is part of the answer
        return type(error).__name__, str(error)
    return str(result), result.as_number()


OPERATIONS = [lambda a, b: a * b, lambda a, b: a / b, lambda a, b: a + b, lambda a, b: a - b,
              lambda a, b: 2.5 / a, lambda a, b: b.__rsub__(a)]


def table(order):
    quantities = {text: 3 * Tarvel.unit(text) for text in TEXTS}
    return {(i, j, k): outcome(op, quantities[TEXTS[i]], quantities[TEXTS[j]])
            for i, j in order for k, op in enumerate(OPERATIONS)}


PAIRS = [(i, j) for i in range(len(TEXTS)) for j in range(len(TEXTS))]
REFERENCE = table(PAIRS)


@settings(max_examples=20, deadline=None)
@given(st.permutations(PAIRS))
def test_answers_do_not_depend_on_what_was_computed_before(order):
    # More pairs than the memo has room for, in any order: every answer is the first run's.
    assert table(order) == REFERENCE


@pytest.mark.parametrize("make", [lambda q, i: q * i, lambda q, i: q + q * i, lambda q, i: q / (q * 2) * i],
                         ids=["scaled", "sum", "ratio"])
def test_a_million_quantities_in_shared_units_stay_small(make):
    q = 5 * Tarvel.unit("kg.m2/s3.A")
    gc.collect()
    tracemalloc.start()
    before, _ = tracemalloc.get_traced_memory()
    objects = [make(q, float(i)) for i in range(100_000)]
    after, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    assert (after - before - sys.getsizeof(objects)) / len(objects) <= 80
    assert {str(o).split(" ", 1)[1] for o in objects[:1000]} == {str(objects[1]).split(" ", 1)[1]}


def test_sizeof_counts_a_collection_only_for_its_sole_holder():
    wide = pickle.loads(pickle.dumps(3 * Tarvel.unit("m.s.kg.A.K.mol.cd")))
    sole = sys.getsizeof(wide)
    small = sys.getsizeof(Tarvel.unit("m"))
    # Seven units do not fit inline: the sole holder counts the collection and its entries.
    assert sole > small + 7 * 16
    twin = copy.copy(wide)
    assert sys.getsizeof(wide) == sys.getsizeof(twin) == small
    del twin
    assert sys.getsizeof(wide) == sole


@pytest.mark.parametrize("count", [40, 1000])
def test_sizeof_counts_the_index_of_a_large_map_and_the_custom_unit_records_it_alone_holds(count):
    length = (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)
    units = tuple((f"custom unit number {i}", f"cu{i}", 0.0, 1.0, length, 1.0) for i in range(count))
    q = Tarvel._from_state((1, 1.0, units, (0.0,) * 5 + (float(count), 0.0, 0.0), 1.0))
    small = sys.getsizeof(Tarvel.unit("m"))
    # The map's entries (a record pointer and an exponent) and its index: 4-byte slots, a power of two
    # of at least twice the entries.
    entries, index = count * 16, (1 << (2 * count - 1).bit_length()) * 4
    # Each record holds two strings, a factor, an offset, eight dimensions and the name (19 characters
    # and more, so on the heap).
    assert sys.getsizeof(q) >= small + entries + index + count * (8 * 8 + 20)
    # The records of units that the catalogue or another quantity also holds are not this one's.
    shared = q * 1.0
    assert sys.getsizeof(shared) == small
