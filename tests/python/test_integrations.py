"""What the integrations share: unit text, the magnitudes and units of an array without copies, and the
table of protocols TarvelArray forwards to them."""

import importlib

import numpy as np
import pytest

from tarvel import Tarvel, TarvelArray, _access


@pytest.mark.parametrize("unit, text", [("km/hr", "km/hr"), (Tarvel.unit("m/s2"), "m/s2"),
                                        (TarvelArray([1.0], "°C"), "°C"), (Tarvel.unit("m") / Tarvel.unit("m"), "")])
def test_unit_text_of_every_kind_of_unit_tag(unit, text):
    assert _access.unit_text(unit) == text


def test_parts_share_the_buffer_and_from_parts_keeps_it():
    buffer = np.arange(3.0)
    array = TarvelArray(buffer, "km", copy=False)
    magnitudes, units = _access.parts(array)
    assert magnitudes is buffer and units == Tarvel.unit("km")
    rebuilt = _access.from_parts(magnitudes, units)
    buffer[0] = 7.0
    assert rebuilt[0] == Tarvel.unit("km") * 7.0 and _access.magnitudes(rebuilt) is buffer


@pytest.mark.parametrize("name", sorted(_access.FORWARDED))
def test_every_forwarded_protocol_exists_on_both_sides(name):
    module, function = _access.FORWARDED[name]
    pytest.importorskip(module.split(".")[-1])
    assert callable(getattr(importlib.import_module(module), function))
    assert hasattr(TarvelArray, name)
    with pytest.raises(AttributeError, match="no protocol"):
        _access.forward("__not_a_protocol__", TarvelArray([1.0], "m"))


def test_a_pandas_column_holds_its_tarvel_array_without_copies():
    pd = pytest.importorskip("pandas")
    importlib.import_module("tarvel.pandas")

    series = pd.Series([1.0, np.nan, 3.0], dtype="tarvel[km]")
    array = series.array.quantity
    assert isinstance(array, TarvelArray) and _access.unit_text(array) == "km"
    magnitudes, units = _access.parts(array)
    assert np.shares_memory(magnitudes, series.array._mag) and units == Tarvel.unit("km")
    series[0] = Tarvel.unit("m") * 250.0  # a write through pandas is a write into the array
    assert magnitudes[0] == 0.25 and array[0] == Tarvel.unit("km") * 0.25
    assert _access.unit_text("km/hr") == "km/hr" and _access.unit_text(Tarvel.unit("m") / Tarvel.unit("m")) == ""


def test_wrapping_a_library_function_twice_replaces_rather_than_stacks():
    import types

    library = types.SimpleNamespace(scale=lambda x: 2 * x)
    for _ in range(2):
        @_access.wraps(library, "scale")
        def scale(original, x):
            return original(x) + 1

    assert library.scale(3) == 7  # 2 * 3 + 1 once, not twice


@pytest.mark.parametrize("name", ["prod", "cumprod"])
def test_products_of_a_unitless_column_are_pandas_own_and_refused_with_units(name):
    pd = pytest.importorskip("pandas")
    import tarvel.pandas  # noqa: F401

    values = [1.5, 2.0, None, -3.0]
    got = getattr(pd.Series(values, dtype="tarvel[]"), name)()
    expected = getattr(pd.Series(values, dtype="float64"), name)()
    if name == "prod":
        assert got.as_unitless() == expected
    else:
        assert np.array_equal(got.array.quantity.as_number(), expected.to_numpy(), equal_nan=True)
    with pytest.raises(TypeError, match="no unit rule"):
        getattr(pd.Series(values, dtype="tarvel[m]"), name)()
