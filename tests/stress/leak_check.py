"""A long loop of mixed operations whose memory must stay flat.

    python tests/stress/leak_check.py [OPERATIONS]        (default 1000000)

Runs OPERATIONS calls spread over every kind of operation of both classes (construction, arithmetic,
comparison, conversion, simplification with the search, the text forms, the error paths) and samples the
resident set size as it goes. After a warm-up (the interpreter's caches, the catalogue's prefixed units),
the resident set may not grow by more than LIMIT_KB: with the default count, a leak of 40 bytes per call
in any single one of the operations exceeds it. Exits 1 on growth. Takes about a second.
"""

import gc
import os
import sys
import time

from tarvel import LogTarvel, Tarvel

LIMIT_KB = 1024


def rss_kb():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def attempt(call):
    try:
        call()
    except Exception:
        pass


km = Tarvel.unit("km")
hour = Tarvel.unit("hr")
celsius = Tarvel.unit("°C") * 20
unitless = Tarvel.empty() * 3
decibel = LogTarvel.unit("dB")
bel = LogTarvel.unit("B")

OPERATIONS = [
    lambda: Tarvel.unit("kg.m/s2"),
    lambda: Tarvel.unit("no such unit"),
    lambda: Tarvel.constant("light speed"),
    lambda: Tarvel.custom("dozen", "dz", 12),
    lambda: km / hour,
    lambda: km * 3 + "m",
    lambda: km - 5,
    lambda: 2 / hour,
    lambda: km**2,
    lambda: -celsius,
    lambda: abs(celsius),
    lambda: km == "m",
    lambda: km < hour,
    lambda: celsius.as_unit("K"),
    lambda: km.as_number("ft", True),
    lambda: km.as_base_units(),
    lambda: unitless.exp(),
    lambda: km.log(),
    lambda: str(Tarvel.unit("W.s.N/J")),
    lambda: Tarvel.unit("W.s.N/J").simplify(),
    lambda: Tarvel.unit("km/m").simplify_inplace(),
    lambda: repr(km / hour),
    lambda: (km / hour).latex(),
    lambda: (km * hour).descriptive(),
    lambda: round(celsius, 1),
    lambda: celsius.round_sfig(2),
    lambda: km.__div__([1, 2]),
    lambda: LogTarvel.unit("dB") + bel,
    lambda: decibel * 3,
    lambda: float(bel - 1),
    lambda: str(decibel.as_unit(bel)),
    lambda: decibel < 2,
    lambda: LogTarvel.unit("decibels"),
]


def main():
    total = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    rounds = max(1, total // len(OPERATIONS))
    samples = []
    start = time.perf_counter()
    for round_number in range(rounds):
        for operation in OPERATIONS:
            attempt(operation)
        if round_number % max(1, rounds // 10) == 0:
            gc.collect()
            samples.append(rss_kb())
    gc.collect()
    samples.append(rss_kb())
    elapsed = time.perf_counter() - start
    calls = rounds * len(OPERATIONS)
    # The first samples cover the warm-up.
    growth = samples[-1] - samples[min(2, len(samples) - 1)]
    print(f"{calls} operations in {elapsed:.1f} s; resident set (KB): {samples}")
    print(f"growth after the warm-up: {growth} KB (limit {LIMIT_KB} KB)")
    return 1 if growth > LIMIT_KB else 0


if __name__ == "__main__":
    sys.exit(main())
