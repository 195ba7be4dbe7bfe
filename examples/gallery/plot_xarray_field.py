"""An xarray cube whose data is a TarvelArray: reduce along a named dimension, convert, and draw."""

import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
import xarray as xr

import tarvel.matplotlib
import tarvel.xarray
from tarvel import TarvelArray

target = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
day = np.arange(30)
depth = np.array([0.0, 10.0, 20.0, 50.0])
values = 8 + 10 * np.exp(-depth[None, :] / 25) * (1 + 0.2 * np.sin(day[:, None] / 5))
cube = xr.DataArray(TarvelArray(values, "°C").as_unit("K"), dims=("day", "depth"),
                    coords={"day": day, "depth": depth}, name="water temperature")

mean_profile = cube.mean("day")
with tarvel.matplotlib.support():
    fig, (left, right) = plt.subplots(1, 2, figsize=(7, 3.5))
    for d in depth:
        left.plot(TarvelArray(day, "d"), cube.sel(depth=d).data, label=f"{d:g} m")
    left.legend(title="depth")
    left.set_title("Each depth over a month")
    right.plot(TarvelArray(depth, "m"), mean_profile.data, "o-")
    right.set_title("Monthly mean profile")
    fig.tight_layout()
    path = target / "xarray_field.png"
    fig.savefig(path, dpi=90)
print(path)
