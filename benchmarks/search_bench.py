"""Cost of the simplification search behind str(), and what it leaves to other threads.

    PYTHONPATH=build/dev python3 benchmarks/search_bench.py [--quick]

Rows, all measured in this one run:
- str(m.ft) against str(m.s): the fixed cost of a three-map search over a pass with no search at all;
- str() of seeded products of at most 12 catalogue units with exponents up to 9 (the slowest and the
  median), and of a few named families;
- a counting Python thread's rate alone, and while another thread prints search-heavy quantities in a
  loop (the search releases the interpreter lock once it runs long).
Each time is the best of several timeit repeats, in microseconds per call.
"""

from __future__ import annotations

import argparse
import random
import statistics
import threading
import time
import timeit

import tarvel

UNITS = ["m", "s", "kg", "A", "K", "mol", "cd", "N", "J", "W", "Pa", "Hz", "C", "V", "F", "ohm", "S", "Wb",
         "T", "H", "ft", "in", "lb", "min", "eV", "cal", "psi", "lbf", "g", "km"]

FAMILIES = {
    "12 lengths": "m.ft.in.km.mi.yd.mm.cm.nmi.um.nm.pc",
    "(kg.m.s.N)^9": "(kg.m.s.N)9",
    "(Pa.J.W.T.Wb.H)^6": "(Pa.J.W.T.Wb.H)6",
    "(Pa.J.W.T.Wb.H)^9": "(Pa.J.W.T.Wb.H)9",
    "(J.W.N.C.V)^9": "(J.W.N.C.V)9",
}


def product(text):
    if text.startswith("("):
        inner, power = text[1:].split(")")
        return tarvel.Tarvel.unit(inner) ** int(power)
    return tarvel.Tarvel.unit(text)


def seeded_products(count, seed=17):
    rng = random.Random(seed)
    out = []
    for _ in range(count):
        q = tarvel.Tarvel.unit("m") / tarvel.Tarvel.unit("m")
        for symbol in rng.sample(UNITS, rng.randint(2, 12)):
            q = q * tarvel.Tarvel.unit(symbol) ** (rng.choice((-1, 1)) * rng.randint(1, 9))
        out.append(q)
    return out


def per_call_us(statement, namespace, repeats):
    timer = timeit.Timer(statement, globals=namespace)
    number, _ = timer.autorange()
    return min(timer.repeat(repeats, number)) / number * 1e6


def count_rate(seconds, busy=None):
    """Increments per second of a counting thread, alone or while `busy` runs in another thread."""
    stop = threading.Event()
    worker = threading.Thread(target=busy, args=(stop,)) if busy else None
    if worker:
        worker.start()
        time.sleep(0.05)
    n = 0
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        for _ in range(1000):
            n += 1
    if worker:
        stop.set()
        worker.join()
    return n / seconds


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer samples and repeats")
    args = parser.parse_args(argv)
    repeats = 3 if args.quick else 7

    m_s, m_ft = tarvel.Tarvel.unit("m.s"), tarvel.Tarvel.unit("m.ft")
    base = per_call_us("str(q)", {"q": m_s}, repeats)
    small = per_call_us("str(q)", {"q": m_ft}, repeats)
    print(f"str(m.s)   {base:8.3f} us")
    print(f"str(m.ft)  {small:8.3f} us   ratio {small / base:.2f}  (target at most 2)")

    print()
    for name, text in FAMILIES.items():
        q = product(text)
        print(f"str({name:<18}) {per_call_us('str(q)', {'q': q}, repeats):9.2f} us   -> {str(q)[:48]}")

    samples = seeded_products(60 if args.quick else 300)
    exhausted = tarvel._search_budget_exhaustions()
    times = [per_call_us("str(q)", {"q": q}, 3) for q in samples]
    exhausted = tarvel._search_budget_exhaustions() - exhausted
    worst = max(range(len(times)), key=times.__getitem__)
    print()
    print(f"str() of {len(samples)} seeded products of <= 12 catalogue units, exponents <= 9:")
    print(f"  median {statistics.median(times):8.2f} us   slowest {times[worst]:8.2f} us"
          f"  (target at most 100)   searches out of budget: {exhausted}")
    print(f"  slowest: {str(samples[worst])[:90]}")

    slowest = sorted(range(len(samples)), key=lambda i: -times[i])[:8]
    # The longest searches left: a unit free to take a million steps (the search counts the maps its budget
    # covers), then the slowest samples.
    heavy = [tarvel.Tarvel.unit("N.m.A") ** 1000000] + [samples[i] for i in slowest]

    def printing(stop):
        while not stop.is_set():
            for q in heavy:
                str(q)

    seconds = 1.0 if args.quick else 3.0
    alone = count_rate(seconds)
    during = count_rate(seconds, printing)
    alone_again = count_rate(seconds)
    solo = (alone + alone_again) / 2
    print()
    print(f"counting thread alone {solo / 1e6:8.2f} M/s, during a str() loop {during / 1e6:8.2f} M/s:"
          f" {during / solo:.0%} of its solo rate (target at least 80%)")


if __name__ == "__main__":
    main()
