"""TarvelArray inputs: what a value, an operand or the constructor accepts, and what it refuses rather
than reading wrongly."""

import math
import warnings

import pytest

from tarvel import TarvelArray

np = pytest.importorskip("numpy")


@pytest.mark.parametrize("key", [0, slice(1, 3), [0, 2], (np.array([True, False, True]),)])
@pytest.mark.parametrize("nan", [math.nan, np.nan, np.float64("nan")])
def test_nan_is_the_missing_value_in_any_units(key, nan):
    a = TarvelArray([1.0, 2.0, 3.0], "km")
    a[key] = nan
    expected = np.array([1.0, 2.0, 3.0])
    expected[key] = math.nan
    np.testing.assert_array_equal(a.as_number("km"), expected)
    assert a.units() == TarvelArray([1.0], "km").units()


@pytest.mark.parametrize("unit, number, stored", [("km", 1.0, None), ("km", math.inf, None), (None, 4.0, 4.0)])
def test_other_numbers_need_a_unitless_array(unit, number, stored):
    a = TarvelArray([1.0, 2.0], unit)
    if stored is None:
        with pytest.raises(TypeError):
            a[0] = number
        assert a.as_number("km")[0] == 1.0
    else:
        a[0] = number
        assert float(a[0]) == stored
