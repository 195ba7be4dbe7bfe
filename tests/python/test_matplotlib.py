"""The matplotlib converter: series on one axis share its units, labels, errors, registration."""

import io

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
plt = pytest.importorskip("matplotlib.pyplot")
munits = pytest.importorskip("matplotlib.units")

import tarvel.matplotlib as tm  # noqa: E402
from tarvel import Tarvel, TarvelArray  # noqa: E402


@pytest.fixture
def ax():
    with tm.support():
        _, axes = plt.subplots()
        yield axes
        plt.close("all")


# (first series' units, second series' units, value of one second-unit in first units, offset)
SCALES = [
    ("min", "s", 1 / 60, 0.0),
    ("km", "m", 1e-3, 0.0),
    ("hr", "day", 24.0, 0.0),
    ("K", "°C", 1.0, 273.15),
    ("m/s", "km/hr", 1 / 3.6, 0.0),
]

finite = st.floats(-1e6, 1e6, allow_nan=False)


@pytest.mark.parametrize("first, second, factor, offset", SCALES)
@settings(max_examples=15, deadline=None)
@given(xs=st.lists(finite, min_size=1, max_size=5))
def test_later_series_land_on_the_first_series_scale(first, second, factor, offset, xs):
    fig, ax = plt.subplots()
    try:
        with tm.support():
            ax.plot(TarvelArray([1.0], first), [0.0])
            line, = ax.plot(TarvelArray(xs, second), np.zeros(len(xs)))
            np.testing.assert_allclose(line.get_xydata()[:, 0], np.array(xs) * factor + offset,
                                       rtol=1e-12, atol=1e-9)
            assert ax.xaxis.get_label_text() == first
    finally:
        plt.close(fig)


def test_both_axes_convert_and_are_labelled_with_the_unit_text(ax):
    ax.plot(TarvelArray([1, 2], "min"), TarvelArray([1, 2], "km/hr"))
    line, = ax.plot([Tarvel.unit("s") * 30, Tarvel.unit("s") * 90], [Tarvel.unit("m/s") * 10] * 2)
    np.testing.assert_allclose(line.get_xydata(), [[0.5, 36.0], [1.5, 36.0]])
    assert (ax.xaxis.get_label_text(), ax.yaxis.get_label_text()) == ("min", "km/hr")


@pytest.mark.parametrize("unit", [Tarvel.unit("s"), "s"])
def test_the_user_picks_the_axis_unit_before_or_after_plotting(ax, unit):
    before, after = ax, plt.subplots()[1]
    before.xaxis.set_units(unit)
    lines = [a.plot(TarvelArray([1, 2], "min"), [0, 0])[0] for a in (before, after)]
    after.xaxis.set_units(unit)
    for a, line in zip((before, after), lines):
        np.testing.assert_array_equal(line.get_xydata()[:, 0], [60.0, 120.0])
        assert a.xaxis.get_label_text() == "s"


def test_a_label_set_by_hand_is_kept(ax):
    ax.set_xlabel("time")
    ax.plot(TarvelArray([1, 2], "min"), [0, 0])
    ax.xaxis.set_units("s")
    assert ax.xaxis.get_label_text() == "time"


@pytest.mark.parametrize("other", [TarvelArray([1.0], "kg"), [Tarvel.unit("kg")], TarvelArray([1.0])])
def test_incompatible_units_raise_type_error_naming_them(ax, other):
    ax.plot(TarvelArray([1.0], "min"), [0.0])
    with pytest.raises(TypeError) as raised:
        ax.plot(other, [0.0])
    cause = raised.value.__cause__
    assert isinstance(cause, TypeError) and "[min]" in str(cause) and "not compatible" in str(cause)


def test_limits_accept_quantities_and_plain_numbers_in_axis_units(ax):
    ax.plot(TarvelArray([1, 2], "min"), [0, 0])
    ax.set_xlim(Tarvel.unit("s") * 30, Tarvel.unit("s") * 300)
    assert ax.get_xlim() == (0.5, 5.0)
    ax.set_xlim(1, 3)
    assert ax.get_xlim() == (1.0, 3.0)


def test_support_restores_the_registry_it_found():
    class Previous(munits.ConversionInterface):
        pass

    saved = {kind: munits.registry.get(kind) for kind in (Tarvel, TarvelArray)}
    previous = Previous()
    munits.registry[Tarvel] = previous
    munits.registry.pop(TarvelArray, None)
    try:
        with tm.support():
            assert isinstance(munits.registry[Tarvel], tm.TarvelConverter)
            assert isinstance(munits.registry[TarvelArray], tm.TarvelConverter)
        assert munits.registry[Tarvel] is previous and TarvelArray not in munits.registry
        registration = tm.support()
        assert isinstance(munits.registry[TarvelArray], tm.TarvelConverter)
        registration.restore()
        assert TarvelArray not in munits.registry
    finally:
        for kind, converter in saved.items():
            munits.registry.pop(kind, None)
            if converter is not None:
                munits.registry[kind] = converter


def test_a_rendered_figure_shows_the_data(ax):
    ax.plot(TarvelArray(np.linspace(0, 10, 50), "min"), TarvelArray(np.sin(np.linspace(0, 10, 50)), "m"))
    ax.scatter(TarvelArray([60, 300], "s"), TarvelArray([50, -50], "cm"))
    buffer = io.BytesIO()
    ax.figure.savefig(buffer, format="png")
    buffer.seek(0)
    image = plt.imread(buffer)
    assert buffer.getbuffer().nbytes > 1000 and image.shape[0] > 100
    assert len(np.unique(image.reshape(-1, image.shape[-1]), axis=0)) > 2


def test_error_bars_in_other_units_land_on_the_axis_scale(ax):
    ax.errorbar(TarvelArray([1, 2], "hr"), TarvelArray([1, 2], "km"), yerr=TarvelArray([100, 200], "m"))
    bars = ax.collections[-1].get_segments()
    np.testing.assert_allclose([segment[:, 1] for segment in bars], [[0.9, 1.1], [1.8, 2.2]])


@pytest.mark.parametrize("plot, x_label, y_label", [
    (lambda frame: frame[["a", "b"]].plot(), None, "km"),
    (lambda frame: frame.plot(x="c", y="a"), "c", "km"),
    (lambda frame: frame.plot.scatter(x="c", y="a"), "c", "a"),
    (lambda frame: frame["a"].plot(), None, "km"),
])
def test_pandas_plots_of_unit_columns_convert_and_label(ax, plot, x_label, y_label):
    pd = pytest.importorskip("pandas")
    import tarvel.pandas  # noqa: F401

    frame = pd.DataFrame({"a": pd.Series([1.0, 2.0, np.nan], dtype="tarvel[km]"),
                          "b": pd.Series([100.0, 200.0, 300.0], dtype="tarvel[m]"),
                          "c": pd.Series([1.0, 2.0, 3.0], dtype="tarvel[s]")})
    axes = plot(frame)
    axes.figure.canvas.draw()
    assert axes.yaxis.get_units() == Tarvel.unit("km")
    if x_label is not None:
        assert axes.get_xlabel() == x_label
    assert axes.get_ylabel() == y_label
    points = axes.collections[0].get_offsets() if axes.collections else axes.lines[0].get_xydata()
    np.testing.assert_array_equal(np.ma.filled(np.ma.asarray(points, dtype=float)[:, 1], np.nan), [1.0, 2.0, np.nan])
    if len(axes.lines) > 1:  # metres on the kilometre axis
        np.testing.assert_allclose(axes.lines[1].get_xydata()[:, 1], [0.1, 0.2, 0.3])


def test_pandas_histogram_of_a_unit_column_is_labelled(ax):
    pd = pytest.importorskip("pandas")
    import tarvel.pandas  # noqa: F401

    frame = pd.DataFrame({"a": pd.Series([1.0, 2.0, np.nan, 2.5], dtype="tarvel[km]")})
    histogram = frame.hist(bins=3).ravel()[0]
    assert histogram.get_xlabel() == "km"
    assert sum(patch.get_height() for patch in histogram.patches) == 3


def test_masked_and_missing_cells_are_nan():
    masked = np.ma.array(np.array([Tarvel.unit("m"), None, Tarvel.unit("km")], dtype=object), mask=[0, 1, 0])
    np.testing.assert_array_equal(tm.TarvelConverter.convert(masked, "m", None), [1.0, np.nan, 1000.0])
    assert tm.TarvelConverter.default_units([None, Tarvel.unit("s")], None) == Tarvel.unit("s")
