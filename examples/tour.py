"""A short tour of tarvel: quantities with units, from parsing to printing."""

from tarvel import LogTarvel, Tarvel


def show(label, value):
    print(f"{label:<44} {value}")


print("Units, prefixes and aliases")
show('Tarvel.unit("kg.m/s2")', Tarvel.unit("kg.m/s2"))
show('Tarvel.unit("km"), "kilometre", "kilometer"',
     [str(Tarvel.unit(text)) for text in ("km", "kilometre", "kilometer")])
show('Tarvel.unit("micron").descriptive()', Tarvel.unit("micron").descriptive())
show('Tarvel.unit("fl oz (food)")', Tarvel.unit("fl oz (food)"))

print("\nConstants and custom units")
c = Tarvel.constant("speed of light")
show('Tarvel.constant("speed of light")', c)
dozen = Tarvel.custom("dozen", "dz", 12)
show('Tarvel.custom("dozen", "dz", 12) * 3', dozen * 3)
show("... as a plain number", (dozen * 3).as_unitless())

print("\nArithmetic (numbers, quantities and unit text on either side)")
km, m, hr = Tarvel.unit("km"), Tarvel.unit("m"), Tarvel.unit("hr")
show("1 km + 500 m", km + m * 500)
show("500 m + 1 km", m * 500 + km)
show("36 km / hr", km * 36 / hr)
show('(3 m) ** 2', (m * 3) ** 2)
show('2 * "ft"', 2 * Tarvel.unit("ft"))
show("1 km / 1 m", km / m)

print("\nConversion and comparison")
speed = km * 36 / hr
show('36 km/hr as "m/s"', speed.as_unit("m/s"))
show('5 km in miles', (km * 5).as_number("mi"))
show("1 km > 500 m", km > m * 500)
twelve_inches = (Tarvel.unit("in") * 12).as_unit("ft")
show("1 ft == 12 in", Tarvel.unit("ft") == Tarvel.unit("in") * 12)
print(f"  12 in in feet is {float(twelve_inches)!r}: equality is exact, with no hidden tolerance;")
print("  0.0254 m and 0.3048 m have no exact binary form, so say how close is close enough yourself.")

print("\nTemperatures: offsets apply to absolute temperatures only")
celsius = Tarvel.unit("degree Celsius") * 100
show("100 degree Celsius in K", celsius.as_unit("K"))
show("100 degree Celsius in degree Fahrenheit", celsius.as_unit("degree Fahrenheit"))
print("  (IEEE arithmetic on the exact factors: the last binary digit shows, and reads back exactly)")
show("20 degC + 10 K (a difference)", Tarvel.unit("°C") * 20 + Tarvel.unit("K") * 10)
show("25 degC - 20 degC (an interval, in kelvin)", Tarvel.unit("°C") * 25 - Tarvel.unit("°C") * 20)

print("\nSimplification and base units")
work = Tarvel.unit("W") * Tarvel.unit("s") * Tarvel.unit("N") / Tarvel.unit("J")
show("W.s.N/J printed (fully simplified)", work)
show("N.m as base units", Tarvel.unit("N.m").as_base_units())
show("in/m simplified", Tarvel.unit("in/m").simplify())

print("\nRounding and text forms")
g = Tarvel.constant("earth gravity")
show("round(g, 1)", round(g, 1))
show("g.round_sfig(2)", g.round_sfig(2))
show("g.latex()", g.latex())
show("g.descriptive()", g.descriptive())

print("\nLogarithmic ratio quantities")
db = LogTarvel.unit("dB")
show("3 dB", db * 3)
show("3 dB as a ratio", float(db * 3))
show("1 B + 1 dB", LogTarvel.unit("B") + db)
show("12 semitones as a ratio", float(LogTarvel.unit("stn") * 12))

print("\nErrors")
for attempt in (lambda: Tarvel.unit("furlongs"), lambda: m + Tarvel.unit("s"),
                lambda: Tarvel.constant("planck constant")):
    try:
        attempt()
    except (LookupError, TypeError) as error:
        show(type(error).__name__, error)

print("\nArrays: NumPy magnitudes in one set of units, element by element exact")
try:
    import numpy as np
except ImportError:
    print("(NumPy is not installed: pip install numpy to see arrays of quantities)")
else:
    from tarvel import TarvelArray

    distances = TarvelArray([1.0, 2.5, 4.0], "km")
    times = np.array([0.25, 0.5, 1.0]) * Tarvel.unit("hr")
    show('TarvelArray([1.0, 2.5, 4.0], "km")', distances)
    show("distances / times", distances / times)
    show('(distances / times).as_unit("m/s")', (distances / times).as_unit("m/s"))
    show("distances + 500 m", distances + Tarvel.unit("m") * 500)
    show("distances[1]", distances[1])
    show("distances.sum(), distances.std()", (distances.sum(), distances.std()))
    show("distances > 2 km", distances > Tarvel.unit("km") * 2)
    show('np.sqrt(TarvelArray([4, 9], "m2"))', np.sqrt(TarvelArray([4, 9], "m2")))
    show('TarvelArray([20, 100], "°C").as_unit("K")', TarvelArray([20, 100], "°C").as_unit("K"))
    show('np.sin(TarvelArray([30, 90], "°"))', np.sin(TarvelArray([30, 90], "°")))
    show('distances.as_number("mi")', distances.as_number("mi"))

print("\nWhere data lives: pandas, plots and dask")
try:
    import io

    import pandas as pd

    import tarvel.pandas
except ImportError:
    print('(pandas is not installed: pip install pandas to see columns with units)')
else:
    csv = "time [min],distance [km]\n0,0\n10,1.6\n20,3.1\n30,4.9\n"
    frame = tarvel.pandas.read_csv(io.StringIO(csv))
    show("read_csv of 'time [min],distance [km]'", dict(frame.dtypes.astype(str)))
    speed = frame["distance"].diff() / frame["time"].diff()
    show("distance.diff() / time.diff(), in km/hr", speed.astype("tarvel[km/hr]").tolist()[1:])
    show("mean distance", frame["distance"].mean())
    try:
        import matplotlib

        matplotlib.use("Agg")
        import os
        import tempfile

        import matplotlib.pyplot as plt

        import tarvel.matplotlib
    except ImportError:
        print("(matplotlib is not installed: pip install matplotlib to plot with labelled axes)")
    else:
        with tarvel.matplotlib.support():
            fig, ax = plt.subplots()
            ax.plot(frame["time"].array.quantity, frame["distance"].array.quantity, "o-")
            path = os.path.join(tempfile.gettempdir(), "tarvel-tour.png")
            fig.savefig(path)
            plt.close(fig)
        show("a plot with axes labelled from the units", f"{path} (x: {ax.get_xlabel()}, y: {ax.get_ylabel()})")
try:
    import dask.array
except ImportError:
    print('(dask is not installed: pip install "dask[array]" to compute beyond memory)')
else:
    lazy = TarvelArray(dask.array.ones(10_000_000, chunks=1_000_000), "m") * Tarvel.unit("s") ** -1
    show("a lazy sum over 10^7 elements in 10 chunks", lazy.sum().compute().as_unit("km/s"))
