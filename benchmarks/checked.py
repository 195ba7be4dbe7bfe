"""Overhead of @tarvel.checked against converting by hand, per checked argument.

    python benchmarks/checked.py [--repeats 7]

Three versions of the same two-argument function run in one process, interleaved round by round:
`plain` does no conversion, `by_hand` calls as_unit("m") and as_unit("s") itself (what a careful author
writes), `decorated` is the plain function under @checked with Tarvel["m"], Tarvel["s"] and a checked
result. The overhead per argument is (version - plain) / arguments; the ratio decorated/by_hand of those
overheads is the figure the decorator is held to (at most 2).
"""

import argparse
import statistics
import timeit

import tarvel
from tarvel import Tarvel

ARGUMENTS = 3  # two parameters and the result


def plain(distance, time):
    return distance / time


def by_hand(distance, time):
    return (distance.as_unit("m") / time.as_unit("s")).as_unit("m/s")


@tarvel.checked
def decorated(distance: Tarvel["m"], time: Tarvel["s"]) -> Tarvel["m/s"]:
    return distance / time


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=7)
    options = parser.parse_args()
    namespace = {"d": Tarvel.unit("km") * 3, "t": Tarvel.unit("min") * 2,
                 "plain": plain, "by_hand": by_hand, "decorated": decorated}
    assert decorated(namespace["d"], namespace["t"]).as_number() == by_hand(namespace["d"], namespace["t"]).as_number()
    timers = {name: timeit.Timer(f"{name}(d, t)", globals=namespace) for name in ("plain", "by_hand", "decorated")}
    loops = {name: timer.autorange()[0] for name, timer in timers.items()}
    samples: dict[str, list[float]] = {name: [] for name in timers}
    for _ in range(options.repeats):
        for name, timer in timers.items():
            samples[name].append(timer.timeit(loops[name]) / loops[name] * 1e9)
    median = {name: statistics.median(values) for name, values in samples.items()}
    for name, value in median.items():
        print(f"{name:>10}: {value:8.0f} ns per call")
    hand = (median["by_hand"] - median["plain"]) / ARGUMENTS
    checked = (median["decorated"] - median["plain"]) / ARGUMENTS
    print(f"overhead per checked argument: by hand {hand:.0f} ns, @checked {checked:.0f} ns, "
          f"ratio {checked / hand:.2f} (target <= 2)")


if __name__ == "__main__":
    main()
