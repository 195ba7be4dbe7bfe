"""Side-by-side benchmark of tarvel, pint, astropy.units and plain Python floats.

    pip install ".[bench]" && python benchmarks/run.py [--json results.json] [--quick]

Every operation of the basket is timed in every library in one run, interleaved (each round measures
every operation in every library once), so slow phases of a shared machine hit all of them alike. Each
measurement is timeit's: a warm-up pass, then `--repeats` timed passes of an auto-calibrated loop; the
table shows the median in nanoseconds per operation. The memory section measures bytes per quantity
object and checks that the resident set stays flat over a million mixed tarvel operations. Arrays have a
benchmark of their own, benchmarks/arrays.py (also run by `python benchmarks/run.py --arrays`).
"""

from __future__ import annotations

import argparse
import gc
import itertools
import json
import platform
import resource
import statistics
import sys
import timeit
import tracemalloc

LIBRARIES = ("float", "tarvel", "pint", "astropy")

# The same unit spelled as each library reads it.
PARSE_TEXT = {"tarvel": "kg.m/s2", "pint": "kg*m/s**2", "astropy": "kg m / s2"}

# Prefixed unit texts that all three libraries read with the same spelling.
PREFIXED_TEXTS = [
    prefix + unit
    for unit in ("m", "g", "s", "Hz", "N", "Pa", "J", "W", "V", "A")
    for prefix in ("k", "M", "G", "m", "n")
]
assert len(set(PREFIXED_TEXTS)) == 50

# Float texts for the floor of the parse rows: float() of a number text is the nearest plain operation.
NUMBER_TEXTS = [f"{i}.{i * 7 % 10}5" for i in range(50)]

# (row, what it does, the library-specific statements). The statements run with the names that
# `setup_namespace` defines; None where a library has no such operation.
BASKET = [
    ("parse", 'parse "kg.m/s2"',
     {"float": "float('9.81')", "tarvel": "Tarvel.unit(parse_text)",
      "pint": "ureg.Unit(parse_text)", "astropy": "u.Unit(parse_text)"}),
    ("parse 50", "parse 50 prefixed texts in turn",
     {"float": "float(next(number_texts))", "tarvel": "Tarvel.unit(next(texts))",
      "pint": "ureg.Unit(next(texts))", "astropy": "u.Unit(next(texts))"}),
    ("scale", "5 * km",
     {"float": "5 * x", "tarvel": "5 * km", "pint": "5 * km", "astropy": "5 * km"}),
    ("multiply", "(5 km) * (2 hr)",
     {"float": "x * y", "tarvel": "d * t", "pint": "d * t", "astropy": "d * t"}),
    ("divide", "(5 km) / (2 hr)",
     {"float": "x / y", "tarvel": "d / t", "pint": "d / t", "astropy": "d / t"}),
    ("add", "1 km + 500 m",
     {"float": "x + y", "tarvel": "one_km + half_km", "pint": "one_km + half_km",
      "astropy": "one_km + half_km"}),
    ("convert", "5 km to miles",
     {"float": "x * y", "tarvel": "d.as_unit(mile)", "pint": "d.to(mile)", "astropy": "d.to(mile)"}),
    ("compare", "1 km > 500 m",
     {"float": "x > y", "tarvel": "one_km > half_km", "pint": "one_km > half_km",
      "astropy": "one_km > half_km"}),
    ("str", "str() of 5 km/hr",
     {"float": "str(x)", "tarvel": "str(speed)", "pint": "str(speed)", "astropy": "str(speed)"}),
    ("power", "(3 m) ** 2",
     {"float": "x ** 2", "tarvel": "three_m ** 2", "pint": "three_m ** 2", "astropy": "three_m ** 2"}),
    # pint and astropy take float() only of dimensionless quantities, so all three get one: 5 km / 2 m.
    ("float()", "float() of (5 km) / (2 m)",
     {"float": "float(x)", "tarvel": "float(ratio)", "pint": "float(ratio)", "astropy": "float(ratio)"}),
    # Nearest equivalents: pint's reduced units, astropy's decomposition.
    ("simplify", "simplify W.s.N/J",
     {"float": None, "tarvel": "product.simplify()", "pint": "product.to_reduced_units()",
      "astropy": "product.decompose()"}),
]

# Binary operations between two quantities: the rows held to at most 5x the float floor.
BINARY_ROWS = ("multiply", "divide", "add", "compare")


def import_library(name):
    """The library's module, or None when it is not installed."""
    try:
        if name == "tarvel":
            import tarvel
            return tarvel
        if name == "pint":
            import pint
            return pint
        if name == "astropy":
            import astropy.units
            return astropy.units
    except ImportError:
        return None
    return None


def setup_namespace(name):
    """The names the basket's statements use, built with the library `name`."""
    ns = {"next": next, "float": float, "str": str}
    if name == "float":
        ns.update(x=5.0, y=2.0, number_texts=itertools.cycle(NUMBER_TEXTS))
        return ns
    if name == "tarvel":
        from tarvel import Tarvel

        unit = Tarvel.unit
        ns.update(Tarvel=Tarvel, km=unit("km"), mile=unit("mi"),
                  product=unit("W") * unit("s") * unit("N") / unit("J"))
        ns.update(d=5 * unit("km"), t=2 * unit("hr"), one_km=1 * unit("km"), half_km=500 * unit("m"),
                  speed=5 * unit("km") / unit("hr"), three_m=3 * unit("m"),
                  ratio=5 * unit("km") / (2 * unit("m")))
    elif name == "pint":
        import pint

        ureg = pint.UnitRegistry()
        unit = ureg.Unit
        ns.update(ureg=ureg, km=ureg.Quantity(1, "km"), mile=unit("mile"),
                  product=ureg.Quantity(1, "W*s*N/J"))
        ns.update(d=ureg.Quantity(5, "km"), t=ureg.Quantity(2, "hour"), one_km=ureg.Quantity(1, "km"),
                  half_km=ureg.Quantity(500, "m"), speed=ureg.Quantity(5, "km/hour"),
                  three_m=ureg.Quantity(3, "m"), ratio=ureg.Quantity(5, "km") / ureg.Quantity(2, "m"))
    elif name == "astropy":
        import astropy.units as u
        from astropy.units import imperial

        ns.update(u=u, km=1 * u.km, mile=imperial.mile, product=1 * u.W * u.s * u.N / u.J)
        ns.update(d=5 * u.km, t=2 * u.h, one_km=1 * u.km, half_km=500 * u.m, speed=5 * u.km / u.h,
                  three_m=3 * u.m, ratio=(5 * u.km) / (2 * u.m))
    ns.update(parse_text=PARSE_TEXT[name], texts=itertools.cycle(PREFIXED_TEXTS))
    return ns


class Measurement:
    """timeit of one statement: calibrated once, then timed pass by pass."""

    def __init__(self, statement, namespace, target_seconds):
        self.timer = timeit.Timer(statement, globals=namespace)
        self.number = 1
        # Calibration doubles as the warm-up: it runs the statement until one pass takes long enough.
        while True:
            if self.timer.timeit(self.number) >= target_seconds / 4:
                break
            self.number *= 4
        self.samples = []

    def run_pass(self):
        self.samples.append(self.timer.timeit(self.number) / self.number * 1e9)

    def median(self):
        return statistics.median(self.samples)


def run_basket(libraries, repeats, target_seconds):
    namespaces = {name: setup_namespace(name) for name in libraries}
    measurements = {}
    for row, _, statements in BASKET:
        for name in libraries:
            statement = statements.get(name)
            if statement is not None:
                measurements[row, name] = Measurement(statement, namespaces[name], target_seconds)
    for _ in range(repeats):
        for measurement in measurements.values():
            measurement.run_pass()
    return measurements


# --- Memory ----------------------------------------------------------------------------------------

def resident_bytes():
    """Current resident set size of this process (Linux)."""
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    return pages * resource.getpagesize()


def bytes_per_object(make, count):
    """Python-heap bytes per object (tracemalloc) and resident bytes per object, over `count` objects.
    The resident set is measured first and without tracemalloc, whose own records would count in it."""
    gc.collect()
    resident_before = resident_bytes()
    objects = [make(i) for i in range(count)]
    resident = (resident_bytes() - resident_before - sys.getsizeof(objects)) / count
    del objects
    gc.collect()
    tracemalloc.start()
    before, _ = tracemalloc.get_traced_memory()
    objects = [make(i) for i in range(count)]
    after, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    traced = (after - before - sys.getsizeof(objects)) / count
    del objects
    return traced, resident


# The objects of the memory table: (label, library, unit text, whether the count is the peers' one).
MEMORY_ROWS = [
    *((f"tarvel, {n} unit{'s' * (n > 1)} [{text}]", "tarvel", text, False)
      for n, text in enumerate(("m", "km/hr", "kg.m/s2", "kg.m2/s3.A", "kg.m2/s3.A.mol"), start=1)),
    # Products of quantities in different units, each a fresh result: they share the product's units.
    ("tarvel, 2 units [km.hr] (d * t)", "tarvel", "product", False),
    ("float", "float", None, False),
    ("pint, kg.m/s2", "pint", "kg*m/s**2", True),
    ("astropy, kg.m/s2", "astropy", "kg m / s2", True),
    ("unyt, kg.m/s2", "unyt", "kg*m/s**2", True),
]


def measure_object(library, text, count):
    """sys.getsizeof, tracemalloc bytes and resident bytes per object of one quantity kind."""
    if library == "float":
        sample, make = 0.5, (lambda i: float(i) + 0.5)
    elif library == "tarvel" and text == "product":
        from tarvel import Tarvel

        d, t = 5 * Tarvel.unit("km"), 2 * Tarvel.unit("hr")
        sample = d * t
        make = (lambda i: d * t)
    elif library == "tarvel":
        from tarvel import Tarvel

        sample = 5 * Tarvel.unit(text)
        make = (lambda i: sample * float(i))
    elif library == "unyt":
        import unyt

        sample = unyt.unyt_quantity(5, text)
        make = (lambda i: sample * float(i))
    elif library == "pint":
        import pint

        sample = pint.UnitRegistry().Quantity(5, text)
        make = (lambda i: sample * float(i))
    else:
        import astropy.units as u

        sample = 5 * u.Unit(text)
        make = (lambda i: sample * float(i))
    return (sys.getsizeof(sample), *bytes_per_object(make, count))


def memory_report(libraries, count, peer_count):
    """One fresh interpreter per row, so that no row reuses memory another row freed."""
    import subprocess

    import importlib.util

    rows = []
    for label, library, text, peer in MEMORY_ROWS:
        # unyt has no column in the basket: it is measured here whenever it is installed.
        if library not in libraries and not (library == "unyt" and importlib.util.find_spec("unyt")):
            continue
        n = peer_count if peer else count
        spec = json.dumps([library, text, n])
        child = subprocess.run([sys.executable, __file__, "--memory-child", spec], capture_output=True,
                               text=True, check=True)
        size, traced, resident = json.loads(child.stdout)
        rows.append((label, size, traced, resident, n))
    return rows


def leak_check(operations):
    """Resident set before and after `operations` mixed tarvel operations, measured in a fresh interpreter:
    in this one, the memory freed by the other sections could absorb a leak without growing the set."""
    import subprocess

    child = subprocess.run([sys.executable, __file__, "--leak-check-child", str(operations)],
                           capture_output=True, text=True, check=True)
    before, after = json.loads(child.stdout)
    return before, after


def leak_check_here(operations):
    """Resident-set growth over `operations` mixed tarvel operations, after a warm-up round."""
    from tarvel import Tarvel

    km, m, s, hr, mile = (Tarvel.unit(t) for t in ("km", "m", "s", "hr", "mi"))
    product = Tarvel.unit("W") * Tarvel.unit("s") * Tarvel.unit("N") / Tarvel.unit("J")

    def mixed(rounds):
        for i in range(rounds):
            d = (i + 1) * km
            v = d / (2 * hr)
            str(v)
            (d + 500 * m) > m
            float(d.as_unit(mile))
            (d * s) ** 2
            Tarvel.unit(PREFIXED_TEXTS[i % 50])
            product.simplify()
            try:
                d + s  # incompatible units: the error path must not leak either
            except TypeError:
                pass
            try:
                Tarvel.unit("no such unit")
            except LookupError:
                pass

    per_round = 15
    mixed(operations // per_round // 10)
    gc.collect()
    before = resident_bytes()
    mixed(operations // per_round)
    gc.collect()
    after = resident_bytes()
    return before, after


# --- Report ----------------------------------------------------------------------------------------

def format_ns(value):
    if value is None:
        return "-"
    return f"{value:,.0f}" if value >= 100 else f"{value:.1f}"


def format_ratio(value):
    if value is None:
        return "-"
    return f"{value:,.0f}x" if value >= 100 else f"{value:.1f}x"


def ratio(numerator, denominator):
    if numerator is None or denominator is None or denominator == 0:
        return None
    return numerator / denominator


def machine_description():
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return model


def versions(libraries):
    from importlib import metadata

    found = {"python": platform.python_version()}
    for name in libraries:
        if name == "float":
            continue
        try:
            found[name] = metadata.version(name)
        except metadata.PackageNotFoundError:
            found[name] = "(not installed as a package)"
    return found


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", metavar="PATH", help="also write the results as JSON")
    parser.add_argument("--repeats", type=int, default=9, help="timed passes per measurement (median)")
    parser.add_argument("--pass-seconds", type=float, default=0.04, help="target duration of one pass")
    parser.add_argument("--quick", action="store_true", help="fewer repeats and objects, for a smoke test")
    parser.add_argument("--no-memory", action="store_true", help="skip the memory and leak sections")
    parser.add_argument("--arrays", action="store_true", help="run the array benchmark (benchmarks/arrays.py) "
                        "instead, with the same --json, --repeats, --pass-seconds and --quick")
    parser.add_argument("--leak-check-child", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--memory-child", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.leak_check_child:
        print(json.dumps(leak_check_here(args.leak_check_child)))
        return
    if args.memory_child:
        print(json.dumps(measure_object(*json.loads(args.memory_child))))
        return
    if args.arrays:
        import arrays

        forwarded = [f"--repeats={args.repeats}", f"--pass-seconds={args.pass_seconds}"]
        forwarded += ["--quick"] * args.quick + [f"--json={args.json}"] * bool(args.json)
        arrays.main(forwarded)
        return

    repeats = 3 if args.quick else args.repeats
    pass_seconds = 0.01 if args.quick else args.pass_seconds
    count = 100_000 if args.quick else 1_000_000
    peer_count = 20_000 if args.quick else 200_000
    leak_operations = 100_000 if args.quick else 1_000_000

    libraries = [name for name in LIBRARIES if name == "float" or import_library(name) is not None]
    if "tarvel" not in libraries:
        sys.exit("tarvel is not importable: install it first (pip install \".[bench]\")")
    missing = [name for name in LIBRARIES if name not in libraries]

    found = versions(libraries)
    print(f"Machine: {machine_description()}; Python {found['python']} ({platform.python_implementation()})")
    print("Versions: " + ", ".join(f"{k} {v}" for k, v in found.items() if k != "python"))
    if missing:
        print("Not installed (their columns stay empty): " + ", ".join(missing))
    print(f"Median of {repeats} passes, nanoseconds per operation; lower is better.\n")

    measurements = run_basket(libraries, repeats, pass_seconds)

    def median(row, name):
        m = measurements.get((row, name))
        return m.median() if m else None

    header = ["operation", "float", "tarvel", "pint", "astropy", "tarvel/float", "pint/tarvel",
              "astropy/tarvel"]
    table = []
    results = []
    for row, what, _ in BASKET:
        f, t, p, a = (median(row, name) for name in LIBRARIES)
        ratios = (ratio(t, f), ratio(p, t), ratio(a, t))
        table.append([what, *map(format_ns, (f, t, p, a)), *map(format_ratio, ratios)])
        results.append({"row": row, "operation": what, "ns": dict(zip(LIBRARIES, (f, t, p, a))),
                        "tarvel/float": ratios[0], "pint/tarvel": ratios[1], "astropy/tarvel": ratios[2],
                        "samples": {name: measurements[row, name].samples for name in LIBRARIES
                                    if (row, name) in measurements}})
    widths = [max(len(str(line[i])) for line in [header, *table]) for i in range(len(header))]
    print("  ".join(h.ljust(w) if i == 0 else h.rjust(w) for i, (h, w) in enumerate(zip(header, widths))))
    for line in table:
        print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(line, widths))))

    by_row = {r["row"]: r for r in results}
    checks = []
    for row in BINARY_ROWS:
        checks.append((f"{row}: tarvel/float <= 5", by_row[row]["tarvel/float"], lambda v: v <= 5))
    for row in ("multiply", "divide", "add"):
        checks.append((f"{row}: tarvel/float <= 3.5", by_row[row]["tarvel/float"], lambda v: v <= 3.5))
    for r in results:
        checks.append((f"{r['row']}: pint/tarvel >= 50", r["pint/tarvel"], lambda v: v >= 50))
        checks.append((f"{r['row']}: astropy/tarvel >= 20", r["astropy/tarvel"], lambda v: v >= 20))
    checks.append(('parse "kg.m/s2" < 500 ns', by_row["parse"]["ns"]["tarvel"], lambda v: v < 500))
    checks.append(("str() of a speed < 1000 ns", by_row["str"]["ns"]["tarvel"], lambda v: v < 1000))

    memory = []
    leak = None
    if not args.no_memory:
        print("\nMemory per quantity object: sys.getsizeof, and over many objects the Python-heap bytes "
              "(tracemalloc) and the resident-set growth per object")
        memory = memory_report(libraries, count, peer_count)
        width = max(len(m[0]) for m in memory)
        print(f"{'object'.ljust(width)}  getsizeof  tracemalloc  resident  objects")
        for name, size, traced, resident, n in memory:
            print(f"{name.ljust(width)}  {size:9d}  {traced:11.1f}  {resident:8.1f}  {n:,}")
        for name, size, traced, resident, _ in memory:
            units = name.split(",")[1].split()[0] if name.startswith("tarvel") else None
            if units and int(units) <= 4:
                checks.append((f"{name}: <= 80 bytes", max(traced, resident), lambda v: v <= 80))

        before, after = leak_check(leak_operations)
        growth = after - before
        leak = {"operations": leak_operations, "rss_before": before, "rss_after": after, "growth": growth}
        flat = growth < 1 << 20
        print(f"\nLeak check: {leak_operations:,} mixed operations (success and error paths); resident set "
              f"{before / 2**20:.1f} MiB -> {after / 2**20:.1f} MiB ({growth / 1024:+.0f} KiB): "
              f"{'flat' if flat else 'GROWING'}")
        checks.append(("resident set flat over the leak check (< 1 MiB growth)", growth, lambda v: v < 1 << 20))

    print("\nTargets:")
    outcome = []
    for label, value, test in checks:
        met = value is not None and test(value)
        shown = "n/a" if value is None else (f"{value:.1f}" if isinstance(value, float) else str(value))
        print(f"  [{'met' if met else 'NOT MET' if value is not None else 'n/a'}] {label} ({shown})")
        outcome.append({"target": label, "value": value, "met": met})

    if args.json:
        with open(args.json, "w") as out:
            json.dump({"machine": machine_description(), "versions": found, "repeats": repeats,
                       "basket": results, "memory": [dict(zip(("object", "getsizeof", "tracemalloc",
                                                              "resident", "objects"), m)) for m in memory],
                       "leak": leak, "targets": outcome}, out, indent=2)
        print(f"\nJSON written to {args.json}")


if __name__ == "__main__":
    main()
