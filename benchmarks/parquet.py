"""Writing and reading Parquet: 10^6 rows of two tarvel columns against the same two float64 columns.

    PYTHONPATH=build/dev python3 benchmarks/parquet.py

Prints the best time of each over several rounds and their ratio (target: at most 1.3).
"""

import pathlib
import tempfile
import time

import numpy as np
import pandas as pd

import tarvel.pandas  # noqa: F401  (registers the dtype and the Arrow type)

ROWS = 10**6
ROUNDS = 7


def round_trip(frame: pd.DataFrame, path: pathlib.Path) -> float:
    start = time.perf_counter()
    frame.to_parquet(path)
    pd.read_parquet(path)
    return time.perf_counter() - start


def main() -> None:
    rng = np.random.default_rng(1)
    a, b = rng.random(ROWS) * 100, rng.random(ROWS) * 10
    a[::97] = np.nan
    plain = pd.DataFrame({"speed": a, "time": b})
    quantities = pd.DataFrame({"speed": pd.array(a, dtype="tarvel[km/hr]"), "time": pd.array(b, dtype="tarvel[s]")})
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "data.parquet"
        best_plain = best_tarvel = float("inf")
        for _ in range(ROUNDS):  # interleaved, so both see the same machine load
            best_plain = min(best_plain, round_trip(plain, path))
            best_tarvel = min(best_tarvel, round_trip(quantities, path))
    print(f"float64 columns: {best_plain * 1e3:8.1f} ms")
    print(f"tarvel columns:  {best_tarvel * 1e3:8.1f} ms")
    print(f"ratio:           {best_tarvel / best_plain:8.2f}  (target <= 1.3)")


if __name__ == "__main__":
    main()
