"""pandas' own test suite for extension arrays, run against the tarvel dtype (columns in km/hr)."""

import numpy as np
import pytest

pd = pytest.importorskip("pandas")
pytest.importorskip("pandas.tests.extension.base")

import pandas._testing as tm  # noqa: E402
from pandas.tests.extension import base  # noqa: E402
from pandas.tests.extension.conftest import (  # noqa: E402,F401  (the suite's shared fixtures)
    all_arithmetic_operators,
    all_boolean_reductions,
    all_data,
    all_numeric_accumulations,
    all_numeric_reductions,
    all_reductions,
    as_array,
    as_frame,
    as_series,
    box_in_series,
    comparison_op,
    data_repeated,
    fillna_method,
    groupby_apply_op,
    invalid_scalar,
    na_value,
    use_numpy,
    using_nan_is_na,
)

from tarvel import Tarvel  # noqa: E402
from tarvel.pandas import TarvelDtype, TarvelExtensionArray  # noqa: E402

UNITS = "km/hr"


def make(values):
    return TarvelExtensionArray._from_sequence(values, dtype=TarvelDtype(UNITS))


@pytest.fixture
def dtype():
    return TarvelDtype(UNITS)


@pytest.fixture
def data():
    # Distinct, non-missing, and nothing whose pointwise result depends on order of evaluation.
    return make(np.arange(1.0, 11.0) * 0.5)


@pytest.fixture
def data_for_twos():
    return make(np.full(10, 2.0))


@pytest.fixture
def data_missing():
    return make([np.nan, 1.5])


@pytest.fixture
def data_for_sorting():
    return make([2.0, 3.0, 1.0])


@pytest.fixture
def data_missing_for_sorting():
    return make([2.0, np.nan, 1.0])


@pytest.fixture
def data_for_grouping():
    return make([2.0, 2.0, np.nan, np.nan, 1.0, 1.0, 2.0, 3.0])


@pytest.fixture
def na_cmp():
    return lambda left, right: pd.isna(left) and pd.isna(right)


class TarvelOpsRules:
    # Floor division, remainder and powers with a quantity exponent have no unit rule: TypeError.
    REFUSED = ("floordiv", "mod", "divmod", "pow")

    def _get_expected_exception(self, op_name, obj, other):
        if any(name in op_name for name in self.REFUSED):
            return TypeError
        return None


class TestDtype(base.BaseDtypeTests):
    pass


class TestInterface(base.BaseInterfaceTests):
    pass


class TestConstructors(base.BaseConstructorsTests):
    pass


class TestGetitem(base.BaseGetitemTests):
    pass


class TestSetitem(base.BaseSetitemTests):
    pass


class TestMissing(base.BaseMissingTests):
    pass


class TestCasting(base.BaseCastingTests):
    pass


class TestMethods(base.BaseMethodsTests):
    pass


class TestReshaping(base.BaseReshapingTests):
    pass


UNHASHABLE = pytest.mark.skip(reason="groups named by a quantity: a Tarvel is unhashable (simplify_inplace can "
                               "change it), and pandas sets the key as each group's Series.name")


class TestGroupby(base.BaseGroupbyTests):
    test_groupby_extension_transform = UNHASHABLE(base.BaseGroupbyTests.test_groupby_extension_transform)
    test_groupby_extension_apply = UNHASHABLE(base.BaseGroupbyTests.test_groupby_extension_apply)


class TestIndex(base.BaseIndexTests):
    pass


class TestPrinting(base.BasePrintingTests):
    pass


class TestParsing(base.BaseParsingTests):
    pass


class TestArithmetic(TarvelOpsRules, base.BaseArithmeticOpsTests):
    @pytest.mark.skip(reason="its last step operates on an empty object Series, which carries no units: tarvel "
                             "reads it as unitless, so + refuses it and * gives other units than the full result; "
                             "the full-length step is test_pandas.py::test_arithmetic_with_object_column")
    def test_arith_series_with_array(self, data, all_arithmetic_operators):
        pass


class TestComparison(TarvelOpsRules, base.BaseComparisonOpsTests):
    pass


class TestUnary(base.BaseUnaryOpsTests):
    pass


class TestAccumulate(base.BaseAccumulateTests):
    def _supports_accumulation(self, ser, op_name):
        return op_name in ("cumsum", "cummin", "cummax")

    def check_accumulate(self, ser, op_name, skipna):
        result = getattr(ser, op_name)(skipna=skipna)
        expected = getattr(ser.tarvel.as_number(), op_name)(skipna=skipna)
        tm.assert_series_equal(result.tarvel.as_number(), expected)
        assert result.dtype == ser.dtype


class TestReduce(base.BaseReduceTests):
    SAME_UNITS = ("sum", "mean", "median", "min", "max", "std", "sem")

    def _supports_reduction(self, ser, op_name):
        return op_name in self.SAME_UNITS + ("var", "skew", "kurt", "count")

    def check_reduce(self, ser, op_name, skipna):
        # The float64 reduction of the magnitudes, in the units the reduction gives.
        kwargs = {} if op_name == "count" else {"skipna": skipna}
        result = getattr(ser, op_name)(**kwargs)
        expected = getattr(ser.tarvel.as_number(), op_name)(**kwargs)
        if op_name in self.SAME_UNITS:
            tm.assert_almost_equal(result.as_number(ser.tarvel.units()), expected)
        elif op_name == "var":
            tm.assert_almost_equal(result.as_number(ser.tarvel.units() ** 2), expected)
        else:
            tm.assert_almost_equal(result, expected)

    def _get_expected_reduction_dtype(self, arr, op_name, skipna):
        if op_name in ("skew", "kurt"):
            return pd.Float64Dtype()
        return TarvelDtype(arr.dtype.quantity ** 2) if op_name == "var" else arr.dtype
