"""Columns of quantities in pandas against the same work on float64 columns, as ratios in one run.

    python benchmarks/pandas_columns.py [--rows 500000] [--rounds 5]

Each round times every row once with units and once on plain float64 (interleaved); the table shows the
medians and their ratio (target: at most 1.5x). The first row is reading a CSV with
`dtype={"c": "tarvel[°C]"}` against `dtype={"c": "float64"}`.
"""

from __future__ import annotations

import argparse
import io
import statistics
import time

import numpy as np
import pandas as pd

import tarvel.pandas  # noqa: F401  (registers the dtype)


def rows(size: int) -> list[tuple[str, object, object]]:
    """(name, work with units, the same work on float64), each a function of no arguments."""
    rng = np.random.default_rng(0)
    values = np.round(rng.normal(20.0, 5.0, size), 3)
    values[::97] = np.nan
    text = "t,c\n" + "\n".join(f"{i},{v!r}" for i, v in enumerate(values.tolist())) + "\n"
    quantity = pd.Series(values, dtype="tarvel[km]")
    number = pd.Series(values)
    groups = rng.integers(0, 100, size)
    frame_q = pd.DataFrame({"a": quantity, "b": pd.Series(values, dtype="tarvel[m]")})
    frame_n = pd.DataFrame({"a": values, "b": values / 1000.0})
    return [
        ("read_csv", lambda: pd.read_csv(io.StringIO(text), dtype={"c": "tarvel[°C]"}),
         lambda: pd.read_csv(io.StringIO(text), dtype={"c": "float64"})),
        ("mean", quantity.mean, number.mean),
        ("std", quantity.std, number.std),
        ("a + a", lambda: quantity + quantity, lambda: number + number),
        ("rolling(10).mean", lambda: quantity.rolling(10).mean(), lambda: number.rolling(10).mean()),
        ("ewm.std", lambda: quantity.ewm(alpha=0.1).std(), lambda: number.ewm(alpha=0.1).std()),
        ("groupby.mean", lambda: quantity.groupby(groups).mean(), lambda: number.groupby(groups).mean()),
        ("mean(axis=1)", lambda: frame_q.mean(axis=1), lambda: frame_n.mean(axis=1)),
        ("nlargest(10)", lambda: quantity.nlargest(10), lambda: number.nlargest(10)),
        ("diff", quantity.diff, number.diff),
    ]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=500_000)
    parser.add_argument("--rounds", type=int, default=5)
    arguments = parser.parse_args()
    table = rows(arguments.rows)
    # Same numbers before anything is timed.
    csv_q, csv_n = table[0][1](), table[0][2]()
    np.testing.assert_array_equal(csv_q["c"].tarvel.as_number(), csv_n["c"].to_numpy())
    timings = {name: ([], []) for name, _, _ in table}
    for _ in range(arguments.rounds):
        for name, with_units, plain in table:
            for slot, work in enumerate((with_units, plain)):
                start = time.perf_counter()
                work()
                timings[name][slot].append(time.perf_counter() - start)
    print(f"pandas columns, {arguments.rows} rows, median of {arguments.rounds} (target: ratio <= 1.5x)")
    print(f"  {'operation':18} {'units':>11} {'float64':>11} {'ratio':>7}")
    for name, (with_units, plain) in timings.items():
        q, n = statistics.median(with_units), statistics.median(plain)
        print(f"  {name:18} {q * 1e3:8.2f} ms {n * 1e3:8.2f} ms {q / n:6.2f}x")


if __name__ == "__main__":
    main()
