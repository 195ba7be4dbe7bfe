"""Reference counts and memory: every method and slot of both classes, on its success and on its error
paths, leaves the reference counts of its arguments, of the classes and of the shared singletons as they
were, and allocates nothing that outlives the call."""

import copy
import gc
import pickle
import sys
import tracemalloc

import numpy as np
import pytest

from tarvel import LogTarvel, Tarvel


class Unprintable:
    def __str__(self):
        raise ValueError("no text")


class Meddler:
    """An argument whose number hooks raise or answer the wrong type."""

    def __index__(self):
        raise OverflowError("no index")

    def __float__(self):
        return "not a float"


# Arguments that are tracked: each call below uses only these objects (besides the instances).
TEXT_OK = "km/hr"
TEXT_BAD = "no such unit"
TEXT_NAME = "speed of light"
TEXT_LOG = "dB"
FLOAT = 2.5
NAN = float("nan")
INF = float("inf")
BIG = 2**80
HUGE = 10**400
LIST = [1, 2]
UNPRINTABLE = Unprintable()
MEDDLER = Meddler()
NP_TRUE = np.True_
NP_FLOAT = np.float64(3.0)
ARGUMENTS = [TEXT_OK, TEXT_BAD, TEXT_NAME, TEXT_LOG, FLOAT, NAN, INF, BIG, HUGE, LIST, UNPRINTABLE, MEDDLER,
             NP_TRUE, NP_FLOAT]


def instances():
    q = Tarvel.unit("km") * FLOAT
    return {
        "q": q,
        "length": Tarvel.unit("m"),
        "unitless": Tarvel.empty() * FLOAT,
        "nan": Tarvel.unit("s") * NAN,
        "inf": Tarvel.unit("s") * INF,
        "mixed": Tarvel.unit("km/m"),  # not yet quick-simplified
        "search": Tarvel.unit("W.s.N/J"),  # needs the simplification search
        "log": LogTarvel.unit("dB"),
        "bel": LogTarvel.unit("B"),
    }


OBJECTS = instances()
q, length, unitless, nan_q, inf_q = (OBJECTS[k] for k in ("q", "length", "unitless", "nan", "inf"))
mixed, search, log, bel = (OBJECTS[k] for k in ("mixed", "search", "log", "bel"))

# (id, call). Each call either returns or raises; both outcomes are exercised on purpose.
CALLS = [
    # Class methods of Tarvel.
    ("unit", lambda: Tarvel.unit(TEXT_OK)),
    ("unit-not-found", lambda: Tarvel.unit(TEXT_BAD)),
    ("unit-wrong-type", lambda: Tarvel.unit(FLOAT)),
    ("unit-keyword", lambda: Tarvel.unit(unit_name_or_symbol=TEXT_OK)),
    ("unit-bad-keyword", lambda: Tarvel.unit(name=TEXT_OK)),
    ("unit-too-many", lambda: Tarvel.unit(TEXT_OK, TEXT_OK)),
    ("unit-missing", lambda: Tarvel.unit()),
    ("constant", lambda: Tarvel.constant(TEXT_NAME)),
    ("constant-not-found", lambda: Tarvel.constant(TEXT_BAD)),
    ("constant-wrong-type", lambda: Tarvel.constant(LIST)),
    ("empty", lambda: Tarvel.empty()),
    ("empty-argument", lambda: Tarvel.empty(FLOAT)),
    ("custom", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, q)),
    ("custom-text", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, TEXT_OK)),
    ("custom-bad-definition", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, LIST)),
    ("custom-unprintable", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, UNPRINTABLE)),
    ("custom-meddler", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, MEDDLER)),
    ("custom-huge", lambda: Tarvel.custom(TEXT_BAD, TEXT_LOG, HUGE)),
    ("construct", lambda: Tarvel()),
    # Conversion.
    ("as_unit", lambda: q.as_unit(TEXT_OK.split("/")[0])),
    ("as_unit-quantity", lambda: q.as_unit(length)),
    ("as_unit-incompatible", lambda: q.as_unit(nan_q)),
    ("as_unit-not-found", lambda: q.as_unit(TEXT_BAD)),
    ("as_unit-list", lambda: q.as_unit(LIST)),
    ("as_unit-numpy", lambda: unitless.as_unit(NP_FLOAT)),
    ("as_number", lambda: q.as_number()),
    ("as_number-other", lambda: q.as_number(length, True)),
    ("as_number-numpy-bool", lambda: q.as_number(length, NP_TRUE)),
    ("as_number-bad-scale", lambda: q.as_number(length, FLOAT)),
    ("as_number-incompatible", lambda: q.as_number(nan_q)),
    ("as_unitless", lambda: unitless.as_unitless()),
    ("as_unitless-incompatible", lambda: q.as_unitless()),
    ("as_base_units", lambda: q.as_base_units()),
    ("simplify", lambda: search.simplify()),
    ("simplify_inplace", lambda: Tarvel.unit("km/m").simplify_inplace()),
    ("round", lambda: round(q)),
    ("round-digits", lambda: round(q, 2)),
    ("round-bad-digits", lambda: round(q, FLOAT)),
    ("round-huge-digits", lambda: round(q, BIG)),
    ("round_sfig", lambda: q.round_sfig(3)),
    ("round_sfig-bad", lambda: q.round_sfig(TEXT_OK)),
    ("round_sfig-meddler", lambda: q.round_sfig(MEDDLER)),
    ("int", lambda: int(q)),
    ("int-nan", lambda: int(nan_q)),
    ("int-inf", lambda: int(inf_q)),
    ("float", lambda: float(q)),
    # exp / log.
    ("exp", lambda: unitless.exp()),
    ("exp-incompatible", lambda: q.exp()),
    ("__exp__", lambda: unitless.__exp__()),
    ("log", lambda: unitless.log()),
    ("__log__-incompatible", lambda: q.__log__()),
    ("log10", lambda: unitless.log10()),
    ("__log10__", lambda: unitless.__log10__()),
    ("exp-argument", lambda: unitless.exp(FLOAT)),
    # Text.
    ("str", lambda: str(q)),
    ("repr-search", lambda: repr(search)),
    ("str-mixed", lambda: str(Tarvel.unit("km/m"))),
    ("latex", lambda: q.latex()),
    ("descriptive", lambda: q.descriptive()),
    ("format", lambda: format(q, "")),
    ("format-spec", lambda: format(q, ".2f")),
    # Arithmetic.
    ("add", lambda: q + length),
    ("add-text", lambda: q + TEXT_OK.split("/")[0]),
    ("add-incompatible", lambda: q + unitless),
    ("add-list", lambda: q + LIST),
    ("radd-float", lambda: FLOAT + unitless),
    ("sub", lambda: q - length),
    ("rsub-text", lambda: "km" - length),
    ("mul", lambda: q * length),
    ("mul-text", lambda: q * TEXT_OK),
    ("mul-bad-text", lambda: q * TEXT_BAD),
    ("mul-huge", lambda: q * HUGE),
    ("mul-numpy", lambda: q * NP_FLOAT),
    ("mul-meddler", lambda: q * MEDDLER),
    ("rmul", lambda: FLOAT * q),
    ("div", lambda: q / length),
    ("rdiv", lambda: FLOAT / q),
    ("div-zero", lambda: q / 0),
    ("__div__", lambda: q.__div__(length)),
    ("__div__-bad", lambda: q.__div__(TEXT_BAD)),
    ("__rdiv__", lambda: q.__rdiv__(FLOAT)),
    ("__rdiv__-unprintable", lambda: q.__rdiv__(UNPRINTABLE)),
    ("pow", lambda: q**2),
    ("pow-modulus", lambda: pow(q, 2, 5)),
    ("pow-bad-modulus", lambda: pow(q, 2, TEXT_OK)),
    ("pow-dimensioned", lambda: q**q),
    ("pow-inf", lambda: q**INF),
    ("rpow", lambda: FLOAT**unitless),
    ("rpow-dimensioned", lambda: FLOAT**q),
    ("neg", lambda: -q),
    ("pos", lambda: +mixed),
    ("abs", lambda: abs(q)),
    ("floordiv", lambda: q // length),
    ("hash", lambda: hash(q)),
    ("bool", lambda: bool(q)),
    # Comparison.
    ("eq", lambda: q == length),
    ("lt-text", lambda: q < TEXT_OK.split("/")[0]),
    ("eq-incompatible", lambda: q == unitless),
    ("lt-incompatible", lambda: q < unitless),
    ("eq-list", lambda: q == LIST),
    ("lt-list", lambda: q < LIST),
    ("eq-nan", lambda: nan_q == nan_q),
    ("ge-reflected", lambda: FLOAT >= unitless),
    # Copy and pickle (where the class offers them; otherwise their TypeError).
    ("copy", lambda: copy.copy(q)),
    ("deepcopy", lambda: copy.deepcopy(q)),
    ("pickle", lambda: pickle.loads(pickle.dumps(q))),
    # LogTarvel.
    ("log-unit", lambda: LogTarvel.unit(TEXT_LOG)),
    ("log-unit-not-found", lambda: LogTarvel.unit(TEXT_BAD)),
    ("log-unit-wrong-type", lambda: LogTarvel.unit(FLOAT)),
    ("log-construct", lambda: LogTarvel()),
    ("log-as_unit", lambda: log.as_unit(bel)),
    ("log-as_unit-bad", lambda: log.as_unit(FLOAT)),
    ("log-as_number", lambda: log.as_number()),
    ("log-as_number-other", lambda: log.as_number(bel)),
    ("log-as_number-bad", lambda: log.as_number(q)),
    ("log-as_unitless", lambda: log.as_unitless()),
    ("log-round_sfig", lambda: log.round_sfig(2)),
    ("log-round_sfig-bad", lambda: log.round_sfig(FLOAT)),
    ("log-round_sfig-meddler", lambda: log.round_sfig(MEDDLER)),
    ("log-round", lambda: round(log)),
    ("log-round-digits", lambda: round(log, 2)),
    ("log-round-bad", lambda: round(log, BIG)),
    ("log-__div__", lambda: log.__div__(FLOAT)),
    ("log-__div__-bad", lambda: log.__div__(LIST)),
    ("log-__rdiv__", lambda: log.__rdiv__(bel)),
    ("log-__rdiv__-unprintable", lambda: log.__rdiv__(UNPRINTABLE)),
    ("log-exp", lambda: log.exp()),
    ("log-__log__", lambda: log.__log__()),
    ("log-log10", lambda: log.log10()),
    ("log-str", lambda: str(log)),
    ("log-repr", lambda: repr(log)),
    ("log-neg", lambda: -log),
    ("log-pos", lambda: +log),
    ("log-abs", lambda: abs(log)),
    ("log-int", lambda: int(log)),
    ("log-float", lambda: float(log)),
    ("log-add", lambda: log + bel),
    ("log-add-float", lambda: log + FLOAT),
    ("log-radd", lambda: FLOAT + log),
    ("log-sub", lambda: log - bel),
    ("log-rsub", lambda: FLOAT - log),
    ("log-mul", lambda: log * FLOAT),
    ("log-div", lambda: log / bel),
    ("log-rdiv", lambda: FLOAT / log),
    ("log-pow", lambda: log**FLOAT),
    ("log-pow-modulus-bad", lambda: pow(log, 2, LIST)),
    ("log-add-text", lambda: log + TEXT_OK),
    ("log-mul-huge", lambda: log * HUGE),
    ("log-mul-meddler", lambda: log * MEDDLER),
    ("log-eq", lambda: log == FLOAT),
    ("log-lt-text", lambda: log < TEXT_OK),
    ("log-eq-list", lambda: log == LIST),
    ("log-format", lambda: format(log, "")),
    ("log-copy", lambda: copy.copy(log)),
    ("log-pickle", lambda: pickle.loads(pickle.dumps(log))),
    # Mixed: a Tarvel and a LogTarvel on either side.
    ("tarvel-times-log", lambda: unitless * log),
    ("log-plus-tarvel", lambda: log + unitless),
    ("tarvel-eq-log", lambda: unitless == log),
]

# Objects whose counts must come back exactly; None, True and False move by themselves (caches of the
# interpreter) and are checked for growth per call instead.
EXACT = ARGUMENTS + list(OBJECTS.values()) + [NotImplemented, Tarvel, LogTarvel]
SHARED = [None, True, False]
ROUNDS = 50


def run(call):
    try:
        call()
    except Exception:
        pass


def counts(objects):
    return [sys.getrefcount(o) for o in objects]


@pytest.fixture(autouse=True, scope="module")
def frozen_heap():
    # The collections these tests take would otherwise scan every object the suite has made so far
    # (pandas, matplotlib, hypothesis...): the objects alive now are moved out of the collector's view.
    gc.collect()
    gc.freeze()
    yield
    gc.unfreeze()


@pytest.fixture(autouse=True)
def quiet_unraisable(monkeypatch):
    # A str() that raises is reported through the unraisable hook; pytest's own hook keeps the object.
    monkeypatch.setattr(sys, "unraisablehook", lambda unraisable: None)


@pytest.mark.parametrize("call", [c for _, c in CALLS], ids=[name for name, _ in CALLS])
def test_reference_counts_are_unchanged(call):
    for _ in range(3):
        run(call)
    gc.collect()
    exact, shared = counts(EXACT), counts(SHARED)
    for _ in range(ROUNDS):
        run(call)
    gc.collect()
    assert counts(EXACT) == exact
    assert all(abs(after - before) < ROUNDS // 4 for before, after in zip(shared, counts(SHARED)))


def test_no_allocation_outlives_its_call():
    # A leaked object of any kind (a result, an exception, a message, a number) stays traced and grows
    # the traced memory in every window; the interpreter's own caches fill now and then (more slowly
    # with PYTHONMALLOC=malloc, as in the sanitizer run) and leave some windows flat.
    for _ in range(3):
        for _, call in CALLS:
            run(call)
    windows = []
    tracemalloc.start()
    try:
        for _ in range(6):
            gc.collect()
            baseline = tracemalloc.get_traced_memory()[0]
            for _ in range(150):
                for _, call in CALLS:
                    run(call)
            gc.collect()
            windows.append(tracemalloc.get_traced_memory()[0] - baseline)
    finally:
        tracemalloc.stop()
    # A leak of 56 bytes in a single one of the calls would add 8400 bytes to every window.
    assert min(windows) < 8192, windows


def test_instances_are_unchanged_by_the_calls_that_only_read_them():
    assert str(q) == "2.5 [km]" and float(length) == 1.0 and str(log) == "1 [dB]"
