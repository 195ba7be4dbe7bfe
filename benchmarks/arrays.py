"""Side-by-side benchmark of quantity arrays: tarvel's TarvelArray, pint, astropy.units and unyt, with
bare NumPy (the expression that computes the same numbers) as the floor.

    pip install ".[bench]" && python benchmarks/arrays.py [--json results.json] [--quick]

Every operation is timed at n = 1, 100 and 10^6 elements in every library in one run, interleaved as in
benchmarks/run.py (each round measures every operation in every library once), and the table shows the
median per operation. The memory section measures the bytes a 10^6-element array takes.
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import sys
import tracemalloc

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import Measurement, machine_description, versions  # noqa: E402

LIBRARIES = ("numpy", "tarvel", "pint", "astropy", "unyt")
PEERS = ("pint", "astropy", "unyt")
SIZES = (1, 100, 1_000_000)

# The conversion factors of the rows, in metres. Each bare NumPy expression is the cheapest one that gives
# bit for bit tarvel's numbers (checked before timing): a conversion is (x * from) / to, where a factor of
# 1 leaves out its multiplication.
KM, MILE = 1000.0, 1609.344

# (row, what it does, whether a conversion factor arises, statements by library). The statements run with
# the names `setup_namespace` defines: x, y the magnitudes, a (km), b (hr), c (m), t (°C), s (m2).
BASKET = [
    ("multiply", "a * b (km * hr)", False,
     {"numpy": "x * y", "tarvel": "a * b", "pint": "a * b", "astropy": "a * b", "unyt": "a * b"}),
    ("add", "a + b (km + m)", True,
     {"numpy": "x + y / KM", "tarvel": "a + c", "pint": "a + c", "astropy": "a + c",
      "unyt": "a + c"}),
    ("convert", "km -> mi", True,
     {"numpy": "(x * KM) / MILE", "tarvel": "a.as_unit(mile)", "pint": "a.to(mile)", "astropy": "a.to(mile)",
      "unyt": "a.to(mile)"}),
    # A conversion between absolute temperatures of factor 1: the offset is the only arithmetic.
    ("temperature", "°C -> K", False,
     {"numpy": "x + 273.15", "tarvel": "t.as_unit(kelvin)", "pint": "t.to(kelvin)",
      "astropy": "t.to(kelvin, equivalencies=temperature)", "unyt": "t.to(kelvin)"}),
    ("sum", "a.sum()", False,
     {"numpy": "x.sum()", "tarvel": "a.sum()", "pint": "a.sum()", "astropy": "a.sum()", "unyt": "a.sum()"}),
    ("compare", "a > c (km > m)", True,
     {"numpy": "x > y / KM", "tarvel": "a > c", "pint": "a > c", "astropy": "a > c",
      "unyt": "a > c"}),
    ("sqrt", "np.sqrt(s) (m2)", False,
     {"numpy": "np.sqrt(x)", "tarvel": "np.sqrt(s)", "pint": "np.sqrt(s)", "astropy": "np.sqrt(s)",
      "unyt": "np.sqrt(s)"}),
    ("index", "a[i]", False,
     {"numpy": "x[i]", "tarvel": "a[i]", "pint": "a[i]", "astropy": "a[i]", "unyt": "a[i]"}),
]


# Rows against floors of their own, measured in the same run: (what, tarvel statement, floor statement,
# floor description, bound on tarvel/floor, n).
FLOORS = [
    ("a[i]", "a[i]", "k * 5.0", "a Tarvel made from a float (k * 5.0)", 2.0, 100),
    ("np.sqrt(s)", "np.sqrt(s)", "np.sqrt(w)",
     "a stand-in class whose __array_ufunc__ calls the ufunc on its buffer and wraps the result", 1.3, 1),
    ("np.sqrt(s)", "np.sqrt(s)", "np.sqrt(w)",
     "a stand-in class whose __array_ufunc__ calls the ufunc on its buffer and wraps the result", 1.3, 100),
]


class StandIn:
    """The least an array class with units can do: NumPy's override dispatch, the ufunc on the buffer and
    a wrapper around the result."""

    def __init__(self, buffer):
        self.buffer = buffer

    def __array_ufunc__(self, ufunc, method, *inputs, **kwargs):
        args = [x.buffer if type(x) is StandIn else x for x in inputs]
        return StandIn(getattr(ufunc, method)(*args, **kwargs))


def floor_namespace(n):
    from tarvel import Tarvel

    ns = setup_namespace("tarvel", n)
    ns.update(k=Tarvel.unit("km"), w=StandIn(ns["x"]))
    return ns


def import_library(name):
    """The library's module, or None when it is not installed (or has no array class)."""
    try:
        if name == "numpy":
            import numpy
            return numpy
        if name == "tarvel":
            import tarvel
            return tarvel if hasattr(tarvel, "TarvelArray") else None
        if name == "pint":
            import pint
            return pint
        if name == "astropy":
            import astropy.units
            return astropy.units
        if name == "unyt":
            import unyt
            return unyt
    except ImportError:
        return None
    return None


def magnitudes(n, seed):
    import numpy as np

    return np.random.default_rng(seed).uniform(1.0, 100.0, n)


def setup_namespace(name, n):
    """The names the basket's statements use, for arrays of n elements built with the library `name`."""
    import numpy as np

    x, y = magnitudes(n, 1), magnitudes(n, 2)
    ns = {"np": np, "x": x, "y": y, "i": n // 2, "KM": KM, "MILE": MILE}
    if name == "tarvel":
        from tarvel import Tarvel, TarvelArray

        ns.update(a=TarvelArray(x, "km"), b=TarvelArray(y, "hr"), c=TarvelArray(y, "m"),
                  t=TarvelArray(x, "°C"), s=TarvelArray(x, "m2"), mile=Tarvel.unit("mi"),
                  kelvin=Tarvel.unit("K"))
    elif name == "pint":
        import pint

        ureg = pint.UnitRegistry()
        Q = ureg.Quantity
        ns.update(a=Q(x, "km"), b=Q(y, "hour"), c=Q(y, "m"), t=Q(x, "degC"), s=Q(x, "m**2"),
                  mile=ureg.Unit("mile"), kelvin=ureg.Unit("K"))
    elif name == "astropy":
        import astropy.units as u
        from astropy.units import imperial

        ns.update(a=x * u.km, b=y * u.h, c=y * u.m, t=x * u.deg_C, s=x * u.m**2, mile=imperial.mile,
                  kelvin=u.K, temperature=u.temperature())
    elif name == "unyt":
        import unyt

        ns.update(a=unyt.unyt_array(x, "km"), b=unyt.unyt_array(y, "hr"), c=unyt.unyt_array(y, "m"),
                  t=unyt.unyt_array(x, "degC"), s=unyt.unyt_array(x, "m**2"), mile="mile", kelvin="K")
    return ns


def floors_give_the_same_numbers(sizes):
    """The rows whose bare NumPy expression does not give bit for bit tarvel's numbers (should be none)."""
    import numpy as np

    differing = []
    for n in sizes:
        numpy_ns, tarvel_ns = setup_namespace("numpy", n), setup_namespace("tarvel", n)
        for row, _, _, statements in BASKET:
            expected = np.asarray(eval(statements["numpy"], numpy_ns))
            got = eval(statements["tarvel"], tarvel_ns)
            got = np.asarray(got if isinstance(got, np.ndarray) else got.as_number())
            if expected.dtype != got.dtype or expected.tobytes() != got.tobytes():
                differing.append(f"{row} (n={n})")
    return differing


def run_basket(libraries, sizes, repeats, target_seconds):
    measurements = {}
    for n in sizes:
        namespaces = {name: setup_namespace(name, n) for name in libraries}
        for row, _, _, statements in BASKET:
            for name in libraries:
                if statements.get(name) is not None:
                    measurements[row, n, name] = Measurement(statements[name], namespaces[name], target_seconds)
    for _ in range(repeats):
        for measurement in measurements.values():
            measurement.run_pass()
    return measurements


# --- Memory ----------------------------------------------------------------------------------------

def array_bytes(name, n):
    """Bytes traced (tracemalloc, which NumPy reports its buffers to) for one array of n elements."""
    x = magnitudes(n, 3)
    # Each array gets a buffer of its own (pint and unyt would otherwise wrap x).
    if name == "numpy":
        make = x.copy
    elif name == "tarvel":
        from tarvel import TarvelArray

        make = lambda: TarvelArray(x, "km")  # noqa: E731
    elif name == "pint":
        import pint

        ureg = pint.UnitRegistry()
        make = lambda: ureg.Quantity(x.copy(), "km")  # noqa: E731
    elif name == "astropy":
        import astropy.units as u

        make = lambda: x * u.km  # noqa: E731
    else:
        import unyt

        make = lambda: unyt.unyt_array(x.copy(), "km")  # noqa: E731
    make()  # first use: imports, caches, registries
    gc.collect()
    tracemalloc.start()
    before, _ = tracemalloc.get_traced_memory()
    kept = make()
    after, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    del kept
    return after - before


# --- Report ----------------------------------------------------------------------------------------

def format_time(ns):
    if ns is None:
        return "-"
    if ns < 1000:
        return f"{ns:.0f} ns"
    if ns < 1e6:
        return f"{ns / 1e3:.1f} us"
    return f"{ns / 1e6:.2f} ms"


def format_ratio(value):
    if value is None:
        return "-"
    return f"{value:,.0f}x" if value >= 100 else f"{value:.2f}x" if value < 10 else f"{value:.1f}x"


def ratio(numerator, denominator):
    if numerator is None or denominator is None or denominator == 0:
        return None
    return numerator / denominator


def print_table(header, rows):
    widths = [max(len(str(line[i])) for line in [header, *rows]) for i in range(len(header))]
    for line in [header, *rows]:
        print("  ".join(c.ljust(w) if i < 2 else c.rjust(w) for i, (c, w) in enumerate(zip(line, widths))))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", metavar="PATH", help="also write the results as JSON")
    parser.add_argument("--repeats", type=int, default=9, help="timed passes per measurement (median)")
    parser.add_argument("--pass-seconds", type=float, default=0.04, help="target duration of one pass")
    parser.add_argument("--quick", action="store_true", help="fewer repeats and a smaller large size")
    args = parser.parse_args(argv)

    repeats = 3 if args.quick else args.repeats
    pass_seconds = 0.01 if args.quick else args.pass_seconds
    sizes = (1, 100, 100_000) if args.quick else SIZES
    large = sizes[-1]

    libraries = [name for name in LIBRARIES if import_library(name) is not None]
    if "tarvel" not in libraries or "numpy" not in libraries:
        sys.exit("tarvel with TarvelArray and NumPy are needed: install them first (pip install \".[bench]\")")
    missing = [name for name in LIBRARIES if name not in libraries]

    found = versions(libraries)
    print(f"Machine: {machine_description()}; Python {found['python']}")
    print("Versions: " + ", ".join(f"{k} {v}" for k, v in found.items() if k != "python"))
    if missing:
        print("Not installed (their columns stay empty): " + ", ".join(missing))
    print(f"Median of {repeats} passes per operation; lower is better.\n")

    differing = floors_give_the_same_numbers(sizes)
    if differing:
        print("WARNING: the NumPy expression differs from tarvel's numbers on " + ", ".join(differing) + "\n")
    measurements = run_basket(libraries, sizes, repeats, pass_seconds)

    def median(row, n, name):
        m = measurements.get((row, n, name))
        return m.median() if m else None

    header = ["operation", "n", *LIBRARIES, "tarvel/numpy", *(f"{p}/tarvel" for p in PEERS)]
    table, results, checks = [], [], []
    for row, what, has_factor, _ in BASKET:
        for n in sizes:
            ns = {name: median(row, n, name) for name in LIBRARIES}
            floor = ratio(ns["tarvel"], ns["numpy"])
            peers = {p: ratio(ns[p], ns["tarvel"]) for p in PEERS}
            table.append([what, f"{n:,}", *map(format_time, ns.values()), format_ratio(floor),
                          *map(format_ratio, peers.values())])
            results.append({"row": row, "operation": what, "n": n, "ns": ns, "tarvel/numpy": floor,
                            **{f"{p}/tarvel": v for p, v in peers.items()}})
            if n == large:
                bound = 1.2 if has_factor else 1.05
                checks.append((f"{what}, n={n:,}: tarvel/numpy <= {bound}", floor, lambda v, b=bound: v <= b))
            else:
                checks.append((f"{what}, n={n:,}: tarvel/numpy <= 2", floor, lambda v: v <= 2))
                for p in PEERS:
                    checks.append((f"{what}, n={n:,}: {p}/tarvel >= 10", peers[p], lambda v: v >= 10))
    print_table(header, table)

    print("\nAgainst floors of their own (same run):")
    floor_measurements = []
    for what, stmt, floor_stmt, floor_what, bound, n in FLOORS:
        ns = floor_namespace(n)
        pair = (Measurement(stmt, ns, pass_seconds), Measurement(floor_stmt, ns, pass_seconds))
        floor_measurements.append(pair)
    for _ in range(repeats):
        for pair in floor_measurements:
            for measurement in pair:
                measurement.run_pass()
    floor_table = []
    for (what, _, floor_stmt, floor_what, bound, n), (mine, floor) in zip(FLOORS, floor_measurements):
        value = ratio(mine.median(), floor.median())
        floor_table.append([what, f"{n:,}", format_time(mine.median()), floor_stmt, format_time(floor.median()),
                            format_ratio(value)])
        results.append({"row": what, "n": n, "floor": floor_what, "tarvel ns": mine.median(),
                        "floor ns": floor.median(), "tarvel/floor": value})
        checks.append((f"{what}, n={n:,}: tarvel / {floor_what} <= {bound}", value, lambda v, b=bound: v <= b))
    print_table(["operation", "n", "tarvel", "floor", "floor time", "tarvel/floor"], floor_table)

    print(f"\nMemory of one float64 array of {large:,} elements (tracemalloc):")
    memory = {}
    for name in libraries:
        total = array_bytes(name, large)
        memory[name] = total
        print(f"  {name:<8} {total / large:6.3f} bytes per element ({total - 8 * large:+,} bytes beyond 8 each)")
    extra = memory["tarvel"] - 8 * large
    checks.append((f"memory: 8 bytes an element plus a constant (< 1 KiB) at n={large:,}", extra,
                   lambda v: v < 1024))

    print("\nTargets:")
    outcome = []
    for label, value, test in checks:
        met = value is not None and test(value)
        shown = "n/a" if value is None else (f"{value:.2f}" if isinstance(value, float) else str(value))
        print(f"  [{'met' if met else 'NOT MET' if value is not None else 'n/a'}] {label} ({shown})")
        outcome.append({"target": label, "value": value, "met": met})

    if args.json:
        with open(args.json, "w") as out:
            json.dump({"machine": machine_description(), "versions": found, "repeats": repeats,
                       "basket": results, "memory": memory, "targets": outcome}, out, indent=2)
        print(f"\nJSON written to {args.json}")


if __name__ == "__main__":
    main()
