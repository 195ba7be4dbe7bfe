"""Reading a CSV into a column of quantities against reading the same file as plain float64.

    python benchmarks/pandas_io.py [--rows 500000] [--rounds 5]

Each round reads the file once plain and once with `dtype={"c": "tarvel[°C]"}` (the two interleaved),
and the table shows the medians and their ratio (target: at most 1.5x).
"""

from __future__ import annotations

import argparse
import io
import statistics
import time

import numpy as np
import pandas as pd

import tarvel.pandas  # noqa: F401  (registers the dtype)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=500_000)
    parser.add_argument("--rounds", type=int, default=5)
    arguments = parser.parse_args()
    rng = np.random.default_rng(0)
    values = np.round(rng.normal(20.0, 5.0, arguments.rows), 3)
    text = "t,c\n" + "\n".join(f"{i},{v!r}" for i, v in enumerate(values.tolist())) + "\n"

    def plain() -> pd.DataFrame:
        return pd.read_csv(io.StringIO(text), dtype={"c": "float64"})

    def with_units() -> pd.DataFrame:
        return pd.read_csv(io.StringIO(text), dtype={"c": "tarvel[°C]"})

    # Same numbers, bit for bit, before anything is timed.
    np.testing.assert_array_equal(with_units()["c"].tarvel.as_number(), plain()["c"].to_numpy())
    timings: dict[str, list[float]] = {"plain": [], "tarvel": []}
    for _ in range(arguments.rounds):
        for name, read in (("plain", plain), ("tarvel", with_units)):
            start = time.perf_counter()
            read()
            timings[name].append(time.perf_counter() - start)
    plain_s, tarvel_s = (statistics.median(timings[name]) for name in ("plain", "tarvel"))
    print(f"read_csv, {arguments.rows} rows, median of {arguments.rounds}")
    print(f"  float64            {plain_s * 1e3:9.1f} ms")
    print(f"  tarvel[°C]         {tarvel_s * 1e3:9.1f} ms")
    print(f"  ratio              {tarvel_s / plain_s:9.2f}x   (target <= 1.5x)")


if __name__ == "__main__":
    main()
