"""Units and dimensions in annotations (Tarvel["m"], Unit, Dim) and @tarvel.checked."""

import subprocess
import sys
import typing
from typing import Annotated

import pytest

import tarvel
from tarvel import Tarvel, TarvelArray

km, m, s, hr = (Tarvel.unit(u) for u in ("km", "m", "s", "hr"))


def test_import_tarvel_alone_imports_no_annotation_module():
    code = "import sys, tarvel; assert 'tarvel.annotations' not in sys.modules; tarvel.Unit; " \
           "assert 'tarvel.annotations' in sys.modules; assert not hasattr(tarvel, 'nothing')"
    subprocess.run([sys.executable, "-c", code], check=True)


@pytest.mark.parametrize("form", ["m/s", typing.Literal["m/s"], tarvel.Unit("m/s")])
@pytest.mark.parametrize("cls", [Tarvel, TarvelArray])
def test_subscription_is_an_annotated_unit_marker(cls, form):
    annotation = cls[form]
    assert typing.get_origin(annotation) is Annotated
    assert typing.get_args(annotation) == (cls, tarvel.Unit("m/s"))
    assert annotation.__metadata__[0].__tarvel_unit__ == "m/s"


@pytest.mark.parametrize("bad, error", [("mtr", LookupError), (3, TypeError), (("m", "s"), TypeError)])
def test_subscription_refuses_what_is_no_unit(bad, error):
    with pytest.raises(error):
        Tarvel[bad]


@pytest.mark.parametrize("text, same_as", [
    ("length/time", "m/s"), ("speed", "km/hr"), ("length.mass/time2", "N"), ("energy/temperature", "J/K"),
    ("length2", "m2"), ("time-1", "Hz"), ("m/s", "mi/hr"), ("dimensionless", ""),
])
def test_dimension_text_names_the_dimensions_of_units(text, same_as):
    dim = tarvel.Dim(text)
    assert dim.__tarvel_dimension__ == text
    assert dim.quantity.dimensions() == Tarvel.unit(same_as).dimensions() if same_as else dim.quantity.dimensions() == {}
    assert dim == tarvel.Dim(same_as or "1") and hash(dim) == hash(tarvel.Dim(same_as or "1"))


@pytest.mark.parametrize("text", ["lenght/time", "length/time/mass"])
def test_dimension_text_that_names_nothing_is_refused(text):
    with pytest.raises((LookupError, ValueError)):
        tarvel.Dim(text)


@tarvel.checked
def speed(distance: Tarvel["m"], time: Annotated[Tarvel, tarvel.Unit("s")], label: str = "x") -> Tarvel["km/hr"]:
    assert distance.unit_text() == "[m]" and time.unit_text() == "[s]"
    return distance / time


@tarvel.checked
def ratio(a: Annotated[Tarvel, tarvel.Dim("length")], /, b: Tarvel["m"] | None = None, *, c=3) -> Annotated[Tarvel, tarvel.Dim("length")]:
    return a if b is None else a * c


def test_arguments_are_converted_into_the_annotated_units_and_so_is_the_result():
    result = speed(km * 3, Tarvel.unit("min") * 1)
    assert result.unit_text() == "[km/hr]"
    assert result.as_number() == (km * 3).as_unit("m").as_number() / 60 * 3.6
    assert speed(time=s * 2, distance=m * 4).as_number("m/s") == pytest.approx(2)


def test_dimension_annotations_check_without_converting():
    assert ratio(km * 2).unit_text() == "[km]"
    assert ratio(km * 2, None, c=2).unit_text() == "[km]"
    assert ratio(km, m).as_number() == 3


@pytest.mark.parametrize("call, parameter", [
    (lambda: speed(s, s), "'distance' of speed()"),
    (lambda: speed(m, time=m), "'time' of speed()"),
    (lambda: speed("1 m", s), "'distance' of speed()"),
    (lambda: speed(3.0, s), "'distance' of speed()"),
    (lambda: ratio(s), "'a' of ratio()"),
    (lambda: ratio(m, s), "'b' of ratio()"),
])
def test_incompatible_arguments_raise_the_library_error_naming_the_parameter(call, parameter):
    with pytest.raises(TypeError) as caught:
        call()
    assert f"while processing {parameter}" in caught.value.__notes__


def test_the_result_is_checked_too():
    @tarvel.checked
    def wrong(x: Tarvel["m"]) -> Tarvel["s"]:
        return x

    with pytest.raises(TypeError, match=r"\[m\] and \[s\] are not compatible") as caught:
        wrong(km)
    assert caught.value.__notes__ == ["while processing the result of test_the_result_is_checked_too.<locals>.wrong()"]


def test_parameters_without_markers_pass_through_untouched():
    sentinel = object()

    @tarvel.checked
    def keep(x, y: int, *rest: str, z: Tarvel = None, **more: float):
        return x, y, rest, z, more

    assert keep(sentinel, "not an int", 1, 2, z=sentinel, w="w") == (sentinel, "not an int", (1, 2), sentinel, {"w": "w"})
    assert keep.__name__ == "keep" and keep.__wrapped__.__name__ == "keep"


def test_plain_numbers_count_as_dimensionless_and_arrays_convert():
    pytest.importorskip("numpy")

    @tarvel.checked
    def scaled(x: Annotated[Tarvel, tarvel.Dim("dimensionless")], xs: TarvelArray["m"]) -> TarvelArray["m"]:
        return xs * x

    result = scaled(2, TarvelArray([1.0, 2.0], "km"))
    assert result.units().unit_text() == "[m]" and list(result.as_number("m")) == [2000.0, 4000.0]


def test_annotations_naming_later_definitions_are_read_at_the_first_call():
    @tarvel.checked
    def later(x: "Later") -> None:  # noqa: F821
        return None

    globals()["Later"] = Tarvel["m"]
    try:
        assert later(km) is None
    finally:
        del globals()["Later"]


def test_pandas_columns_of_quantities_convert():
    pd = pytest.importorskip("pandas")
    import tarvel.pandas  # noqa: F401

    @tarvel.checked
    def in_metres(column: Annotated[pd.Series, tarvel.Unit("m")]) -> pd.Series:
        return column

    column = pd.Series([1.0, 2.5], dtype="tarvel[km]")
    assert list(in_metres(column).tarvel.as_number()) == [1000.0, 2500.0]
    with pytest.raises(TypeError):
        in_metres(pd.Series([1.0], dtype="tarvel[s]"))
