"""10^8 speeds and durations in chunks: converted, multiplied and summed with units, never all in memory.

    PYTHONPATH=build/dev python3 examples/dask_large.py [n] [chunk]

Prints the total distance, the time taken and the peak resident memory of the process; the same data
held in memory as float64 would take 2 * 8 * n bytes (1.6 GB for two arrays of 10^8, 800 MB each).
"""

import resource
import sys
import time

import dask
import dask.array as da

import tarvel.dask  # noqa: F401  (the protocol; importing it is optional)
from tarvel import Tarvel, TarvelArray


def main() -> None:
    n = int(float(sys.argv[1])) if len(sys.argv) > 1 else 10**8
    chunk = int(float(sys.argv[2])) if len(sys.argv) > 2 else 10**6
    random = da.random.RandomState(0)
    speeds = TarvelArray(random.uniform(0, 120, n, chunks=chunk), "km/hr")
    durations = TarvelArray(random.uniform(0, 3600, n, chunks=chunk), "s")

    start = time.perf_counter()
    distance = speeds.as_unit("m/s") * durations            # lazy: [m], checked now
    total, longest = dask.compute(distance.sum().as_unit("km"), distance.max(), scheduler="threads")
    elapsed = time.perf_counter() - start

    peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"elements        {n:.0e} in chunks of {chunk:.0e}")
    print(f"total distance  {total}")
    print(f"longest leg     {longest}")
    print(f"time            {elapsed:.2f} s")
    print(f"peak memory     {peak_mb:.0f} MB (one array in memory: {8 * n / 1e6:.0f} MB)")
    assert isinstance(total, Tarvel) and total.units() == Tarvel.unit("km")


if __name__ == "__main__":
    main()
