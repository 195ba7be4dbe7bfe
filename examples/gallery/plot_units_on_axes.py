"""Two series measured in different units on one pair of axes: the axes take the first series' units,
convert the second one into them, and are labelled with the unit text."""

import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import tarvel.matplotlib
from tarvel import TarvelArray

target = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
minutes = TarvelArray(np.linspace(0, 30, 31), "min")
walk = minutes * TarvelArray(5.0, "km/hr")             # a walk, in km
seconds = TarvelArray(np.linspace(0, 1800, 13), "s")
run = seconds * TarvelArray(3.2, "m/s")                # a run, in m

with tarvel.matplotlib.support():
    fig, ax = plt.subplots(figsize=(6, 3.5))
    ax.plot(minutes, walk.as_unit("km"), label="walk (km over min)")
    ax.plot(seconds, run, "o", label="run (m over s, converted)")
    ax.legend()
    ax.set_title("Distance against time, in the units of the first series")
    fig.tight_layout()
    path = target / "units_on_axes.png"
    fig.savefig(path, dpi=90)
print(path)
