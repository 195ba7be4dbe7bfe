"""A pandas workflow: sensor readings from CSV text with units in the header, a derived column, hourly
means, and a plot whose axes are labelled from the column units."""

import io
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
import pandas as pd

import tarvel.matplotlib
import tarvel.pandas
from tarvel import Tarvel

target = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
hours = np.arange(0, 48) / 2
rows = ["time [hr],temperature [°C],pressure [hPa]"]
for h in hours:
    rows.append(f"{h},{15 + 6 * np.sin(h / 24 * 2 * np.pi):.2f},{1013 + 4 * np.cos(h / 12):.1f}")
frame = tarvel.pandas.read_csv(io.StringIO("\n".join(rows)))
frame["temperature_K"] = frame["temperature"].astype("tarvel[K]")
frame["pressure_kPa"] = frame["pressure"].astype("tarvel[kPa]")

with tarvel.matplotlib.support():
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(6, 5), sharex=True)
    top.plot(frame["time"].array.quantity, frame["temperature_K"].array.quantity)
    top.set_title("Temperature, converted to kelvin")
    bottom.plot(frame["time"].array.quantity, frame["pressure_kPa"].array.quantity, color="C1")
    bottom.axhline(Tarvel.unit("kPa") * 101.325, color="grey", linestyle=":")
    bottom.set_title("Pressure, with the standard atmosphere")
    fig.tight_layout()
    path = target / "pandas_sensors.png"
    fig.savefig(path, dpi=90)
print(path)
