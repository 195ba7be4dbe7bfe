"""Several Python threads printing and simplifying quantities whose simplification needs the search, all
at once: no crash, no deadlock, and every result identical to the one a single thread computes."""

import random
import sys
import threading
import time

import pytest

from tarvel import LogTarvel, Tarvel

# Expressions whose display needs the search for a shorter product (the first node, deeper levels, and
# large levels that the search shares out among its worker threads), and a few that need none.
EXPRESSIONS = [
    ("W.s.N/J", 1),
    ("J.s/N.m", 1),
    ("kg.m2/s2.N", 1),
    ("V.A.s/J", 1),
    ("Pa.m3/mol.K", 1),
    ("N.m.W.J", 3),
    ("N.m.eV.BTU", 40),
    ("W.s.N.J/kg.m2", 25),
    ("km/hr", 1),
    ("°C", 1),
]

OPERATIONS = [
    ("str", str),
    ("simplify", lambda q: str(q.simplify())),
    ("simplify_inplace", lambda q: (q.simplify_inplace(), str(q))[1]),
    ("latex", lambda q: q.latex()),
    ("descriptive", lambda q: q.descriptive()),
    ("base", lambda q: str(q.as_base_units())),
    ("times", lambda q: str(q * Tarvel.unit("s") / Tarvel.unit("min"))),
    ("round", lambda q: str(q.round_sfig(3))),
]


def fresh(expression, power):
    return (Tarvel.unit(expression) * 1.5) ** power


def compute(expression, power, operation):
    return OPERATIONS[operation][1](fresh(expression, power))


def all_cases():
    return [(e, p, o) for e, p in EXPRESSIONS for o in range(len(OPERATIONS))]


@pytest.fixture
def fast_switching():
    # Switch threads as often as the interpreter allows, so calls interleave as much as they can.
    previous = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(previous)


def run_threads(count, work, seconds):
    """Runs work(index, deadline) on `count` threads started together; returns the errors they raised."""
    errors = []
    barrier = threading.Barrier(count)

    def body(index):
        try:
            barrier.wait(timeout=30)
            work(index, time.monotonic() + seconds)
        except BaseException as error:  # PanicException derives from BaseException
            errors.append(error)

    threads = [threading.Thread(target=body, args=(i,), daemon=True) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=seconds + 60)
    assert not any(thread.is_alive() for thread in threads), "a thread did not finish: deadlock?"
    return errors


def test_threads_compute_what_one_thread_computes(fast_switching):
    expected = {case: compute(*case) for case in all_cases()}
    mismatches = []
    counts = [0] * 6

    def work(index, deadline):
        rng = random.Random(index)
        cases = all_cases()
        while time.monotonic() < deadline:
            rng.shuffle(cases)
            for case in cases:
                got = compute(*case)
                counts[index] += 1
                if got != expected[case]:
                    mismatches.append((case, got, expected[case]))

    errors = run_threads(len(counts), work, seconds=1.5)
    assert errors == []
    assert mismatches == []
    # Every thread got through the whole table at least once.
    assert min(counts) >= len(expected)


def test_threads_sharing_instances(fast_switching):
    # The same instances printed, simplified and combined by every thread: exclusive access is taken and
    # released within each call (the interpreter lock is never given up inside one), so no call is
    # refused, and every thread sees the same texts.
    shared = [fresh(expression, power) for expression, power in EXPRESSIONS]
    logs = [LogTarvel.unit("dB") * 3, LogTarvel.unit("B")]
    expected = [str(q) for q in shared]
    expected_logs = [str(x) for x in logs]
    seen = []

    def work(index, deadline):
        while time.monotonic() < deadline:
            texts = [str(q) for q in shared]
            for q in shared:
                q.simplify_inplace()
                q.latex()
                _ = q * q
                _ = q == q
            seen.append((texts, [str(x) for x in logs], [float(x + x) for x in logs]))

    errors = run_threads(4, work, seconds=1.0)
    assert errors == []
    assert seen
    for texts, log_texts, sums in seen:
        assert texts == expected
        assert log_texts == expected_logs
        assert sums == [float(x + x) for x in logs]
