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


class SlowIndex:
    """An argument whose conversion runs Python code, so the interpreter can switch threads inside it."""

    def __index__(self):
        sum(range(20))
        return 2


def test_operations_on_one_quantity_from_several_threads_never_refuse_each_other(fast_switching):
    from fractions import Fraction

    q = Tarvel.unit("km/m") * 3  # its first in-place simplification changes the instance
    db = LogTarvel.unit("dB") * 3
    work_of = [
        lambda: (str(q * Fraction(1, 3)), str(db * Fraction(1, 2))),
        lambda: (str(round(q, SlowIndex())), q.round_sfig(SlowIndex()), db.round_sfig(SlowIndex())),
        lambda: (str(q), repr(q), q.latex(), str(db)),
        lambda: (str(q * 2), str(2 * q), q == 3000, db < 2, str(q.as_unit(q))),
    ]
    seen = [set() for _ in work_of]

    def work(index, deadline):
        task = work_of[index % len(work_of)]
        while time.monotonic() < deadline:
            seen[index % len(work_of)].add(repr(task()))

    errors = run_threads(8, work, 1.0)
    assert errors == []
    # As if the calls ran one after another: every answer is the one a single thread gets.
    single = Tarvel.unit("km/m") * 3
    single_db = LogTarvel.unit("dB") * 3
    str(single)
    assert seen[2] == {repr((str(single), repr(single), single.latex(), str(single_db)))}
    assert seen[0] == {repr((str(single * Fraction(1, 3)), str(single_db * Fraction(1, 2))))}
    assert str(q) == "3000 []"


def _search_heavy_quantities():
    # Searches well past the point where the interpreter lock is released (a unit free to take a million
    # steps: the search counts the maps its budget covers), and products of many units of distinct
    # dimensions.
    rng = random.Random(17)
    symbols = ["m", "s", "kg", "A", "K", "N", "J", "W", "Pa", "Hz", "C", "V", "F", "ohm", "S", "Wb", "T",
               "H", "Gy", "L", "ha", "lbf", "psi", "cal"]
    out = [Tarvel.unit("N.m.A") ** 1000000, Tarvel.unit("N.J.W.Pa.kg.m.s.Gy.L.ha") ** 3]
    while len(out) < 40:
        q = Tarvel.unit("m") / Tarvel.unit("m")
        for symbol in rng.sample(symbols, 10):
            q = q * Tarvel.unit(symbol) ** (rng.choice((-1, 1)) * rng.randint(1, 9))
        out.append(q)
    return out


def test_another_thread_runs_while_searches_hold_no_lock():
    # With a switch interval longer than the printing loop, the counting thread can only run when the printing loop
    # releases the lock, which it does inside long searches alone.
    quantities = _search_heavy_quantities()
    expected = [str(q) for q in quantities]
    started = threading.Event()
    stop = threading.Event()
    counts = [0]

    def count():
        started.set()
        while not stop.is_set():
            counts[0] += 1

    previous = sys.getswitchinterval()
    worker = threading.Thread(target=count)
    try:
        worker.start()
        started.wait()
        sys.setswitchinterval(0.25)
        # Which waiting thread the interpreter wakes at a release is its choice (after a long suite other
        # threads may be parked too, and a loaded machine may not wake it within a short release), so the
        # loop is repeated until the counter has moved.
        progressed = 0
        for _ in range(40):
            before = counts[0]
            assert [str(q) for q in quantities] == expected
            progressed = counts[0] - before
            if progressed:
                break
    finally:
        sys.setswitchinterval(previous)
        stop.set()
        worker.join()
    assert progressed > 0


@pytest.mark.parametrize("operation", ["str", "simplify", "simplify_inplace", "float", "latex"])
def test_a_search_on_one_thread_never_refuses_another_on_the_same_quantity(operation):
    quantities = _search_heavy_quantities()[:12]
    expected = [str(q) for q in quantities]
    errors = []
    stop = threading.Event()
    use = {
        "str": str,
        "simplify": lambda q: q.simplify(),
        "simplify_inplace": lambda q: q.simplify_inplace(),
        "float": float,
        "latex": lambda q: q.latex(),
    }[operation]

    def other():
        try:
            while not stop.is_set():
                for q in quantities:
                    use(q)
        except Exception as error:  # a refusal or anything else ends the run as a failure
            errors.append(error)

    worker = threading.Thread(target=other)
    worker.start()
    try:
        for _ in range(30):
            shown = [str(q) for q in quantities]
            if operation != "simplify_inplace":
                assert shown == expected
    finally:
        stop.set()
        worker.join()
    assert not errors


# --- Daemon threads at interpreter shutdown ---------------------------------------------------------------
# CPython ends a daemon thread that asks for the lock back after shutdown began; the process must exit
# cleanly whatever the thread was doing without the lock.
EXIT_SCRIPTS = {
    "search": """
q = Tarvel.unit("N.m.A") ** 1000000
work = lambda: str(q)
""",
    "array product": """
a = TarvelArray(np.ones(4_000_000), "m")
work = lambda: a * a
""",
    "array conversion": """
a = TarvelArray(np.ones(4_000_000), "m")
km = Tarvel.unit("km")
work = lambda: a.as_unit(km)
""",
}
EXIT_FRAME = """
import sys, threading, time
import numpy as np
from tarvel import Tarvel, TarvelArray
{body}
def loop():
    while True:
        work()
threading.Thread(target=loop, daemon=True).start()
time.sleep({delay})
sys.exit(0)
"""


@pytest.mark.parametrize("case", sorted(EXIT_SCRIPTS))
def test_exit_is_clean_while_a_daemon_thread_works_without_the_lock(case):
    import subprocess
    pytest.importorskip("numpy")
    # Exits at several points of the thread's work, so that both ways back to the lock are met: after
    # shutdown began, and while waiting for it when shutdown begins.
    for delay in (0.0, 0.01, 0.02, 0.03, 0.05, 0.08):
        script = EXIT_FRAME.format(body=EXIT_SCRIPTS[case], delay=delay)
        done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
        assert (done.returncode, done.stderr) == (0, ""), delay


def test_a_conversion_target_is_free_while_the_array_loop_runs():
    np = pytest.importorskip("numpy")
    from tarvel import TarvelArray

    a = TarvelArray(np.arange(2_000_000, dtype=float), "m")
    target = Tarvel.unit("km") * 1.0
    errors = []
    stop = threading.Event()

    def other():
        try:
            while not stop.is_set():
                str(target)
                target.simplify_inplace()
        except Exception as error:
            errors.append(error)

    worker = threading.Thread(target=other)
    worker.start()
    try:
        for _ in range(5):
            assert float(a.as_unit(target)[1_000_000]) == 1000.0
            a.as_number(target)
    finally:
        stop.set()
        worker.join()
    assert not errors


def _fractional_unit():
    return Tarvel.custom("halffoot", "hf", Tarvel.unit("m") ** 0.5)


def test_long_two_unit_searches_release_the_lock_and_short_searches_keep_it():
    import tarvel

    hf = _fractional_unit()
    # A search of about two milliseconds: past the millisecond after which the lock may go, and short
    # enough that a pass the system slowed may judge itself about to end; one of a few passes releases.
    long_search = (hf * Tarvel.unit("J")) ** 2e9
    released = 0
    for _ in range(5):
        before = tarvel._search_pauses()
        long_search.simplify()
        released = tarvel._search_pauses() - before
        if released:
            break
    assert released > 0
    # Searches of microseconds, of few and of many units, never give the lock up.
    short = [Tarvel.unit("W.s.N/J"), Tarvel.unit("N.m.W.J") ** 3, (hf * Tarvel.unit("J/N")) ** 7,
             Tarvel.unit("N.J.W.Pa.kg.m.s.Gy.L.ha") ** 3, Tarvel.unit("m") ** 20 * Tarvel.unit("ft") ** 20]
    # The release follows the wall clock, so a pass that the system preempted for a millisecond may
    # release once; one pass of the few that are tried must run through without releasing.
    pauses = []
    for _ in range(5):
        before = tarvel._search_pauses()
        for q in short:
            str(q)
            q.simplify()
        pauses.append(tarvel._search_pauses() - before)
        if pauses[-1] == 0:
            break
    assert 0 in pauses, pauses
