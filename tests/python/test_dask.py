"""TarvelArray over dask arrays: lazy until computed, units checked when the graph is built, and every
computed element the same bits as the NumPy-backed array gives.
"""

import math
import operator
import pickle
import struct

import pytest

np = pytest.importorskip("numpy")
da = pytest.importorskip("dask.array")
dask = pytest.importorskip("dask")
from hypothesis import HealthCheck, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402
from hypothesis.extra import numpy as hnp  # noqa: E402

import tarvel.dask  # noqa: E402
from tarvel import Tarvel, TarvelArray  # noqa: E402


def bits(value):
    value = float(value)
    return "nan" if math.isnan(value) else struct.pack("<d", value).hex()


def magnitude(quantity):
    return float(quantity / quantity.units())


def fingerprint(result):
    """The units (by repr) and every magnitude by its bits, of an in-memory result."""
    if isinstance(result, Tarvel):
        return "Tarvel", repr(result.units()), bits(magnitude(result))
    if isinstance(result, TarvelArray):
        magnitudes, unit = result.__reduce__()[1]
        assert isinstance(magnitudes, np.ndarray)
        return "TarvelArray", repr(unit), magnitudes.dtype.str, [bits(v) for v in magnitudes.ravel()]
    result = np.asarray(result)
    return "plain", result.dtype.str, result.tolist() if result.dtype == bool else [bits(v) for v in result.ravel()]


def payload(array):
    return array.__reduce__()[1][0]


class Unexpected(Exception):
    pass


def explode(block):
    raise Unexpected("the graph was computed")


def poisoned(n=12, chunks=5):
    """A dask array whose computation fails: building on it must never compute it."""
    return da.ones(n, chunks=chunks).map_blocks(explode, dtype=float)


# Operations of a (lazy or in-memory) km array and an m array of the same shape.
OPERATIONS = {
    "as_unit": lambda a, b: a.as_unit("m"),
    "as_unit offset": lambda a, b: (a / Tarvel.unit("km") * Tarvel.unit("°C")).as_unit("°F"),
    "as_number": lambda a, b: a.as_number("mi"),
    "as_number scaled": lambda a, b: a.as_number(Tarvel.unit("m") * 3, scale=True),
    "as_base_units": lambda a, b: (a / Tarvel.unit("hr")).as_base_units(),
    "add": operator.add, "sub": operator.sub, "mul": operator.mul, "truediv": operator.truediv,
    "rsub": lambda a, b: 2.5 * Tarvel.unit("ft") - a,
    "scalar mul": lambda a, b: a * (Tarvel.unit("s") * 3),
    "pow": lambda a, b: a ** 2,
    "neg": lambda a, b: -a, "abs": lambda a, b: abs(a - b),
    "lt": operator.lt, "ge": operator.ge, "eq": lambda a, b: a == b,
    "sqrt": lambda a, b: np.sqrt(a * b), "cbrt": lambda a, b: np.cbrt(a),
    "hypot": lambda a, b: np.hypot(a, b), "sin": lambda a, b: np.sin(a / b),
    "maximum": lambda a, b: np.maximum(a, b),
    "getitem": lambda a, b: a[1:-2:3],
    "setitem": lambda a, b: (lambda c: (c.__setitem__(slice(0, 2), b[:2]), c)[1])(a + b),
    "reshape": lambda a, b: a.reshape(3, -1).T,
    "sum": lambda a, b: a.sum(), "mean": lambda a, b: (a * b).mean(), "min": lambda a, b: a.min(),
    "max": lambda a, b: b.max(), "std": lambda a, b: a.std(), "var": lambda a, b: a.var(),
    "cumsum": lambda a, b: a.cumsum(axis=0),
    "np.sum": lambda a, b: np.sum(a, keepdims=True),
    "concatenate": lambda a, b: np.concatenate([a, b]),
    "stack": lambda a, b: np.stack([a, b]), "diff": lambda a, b: np.diff(a),
    "where": lambda a, b: np.where(a > b, a, b), "clip": lambda a, b: np.clip(a, b[0], b[1]),
}

# Those whose result is reduced in dask's own order, which is not NumPy's pairwise summation.
REDUCTIONS = {"sum", "mean", "std", "var", "np.sum", "cumsum"}


def operands(lazy, n=12, chunks=5):
    rng = np.random.default_rng(7)
    a = rng.normal(size=n) * 1e3
    b = rng.normal(size=n)
    if lazy:
        return TarvelArray(da.from_array(a, chunks=chunks), "km"), TarvelArray(da.from_array(b, chunks=chunks), "m")
    return TarvelArray(a, "km"), TarvelArray(b, "m")


@pytest.mark.parametrize("name", OPERATIONS)
def test_operations_stay_lazy(name):
    a, b = TarvelArray(poisoned(), "km"), TarvelArray(poisoned() + 1, "m")
    result = OPERATIONS[name](a, b)
    if isinstance(result, TarvelArray):
        assert tarvel.dask.is_lazy(result)
        repr(result)  # describes the graph, never computes it
    else:
        assert dask.is_dask_collection(result)  # plain numbers and booleans stay lazy too
    with pytest.raises(Unexpected):
        dask.compute(result)


@pytest.mark.parametrize("name", OPERATIONS)
def test_computed_results_equal_in_memory_ones(name):
    expected = OPERATIONS[name](*operands(lazy=False))
    lazy_result = OPERATIONS[name](*operands(lazy=True))
    computed = dask.compute(lazy_result)[0]
    if name in REDUCTIONS:
        assert fingerprint(computed)[:2] == fingerprint(expected)[:2]
        got = magnitude(computed) if isinstance(computed, Tarvel) else computed.as_number()
        want = magnitude(expected) if isinstance(expected, Tarvel) else expected.as_number()
        np.testing.assert_allclose(got, want, rtol=1e-12)
    else:
        assert fingerprint(computed) == fingerprint(expected)


@pytest.mark.parametrize("build", [
    lambda a, b: a + TarvelArray(b, "s"),
    lambda a, b: a < Tarvel.unit("kg"),
    lambda a, b: a.as_unit("A"),
    lambda a, b: np.concatenate([a, TarvelArray(b, "hr")]),
    lambda a, b: np.maximum(a, TarvelArray(b, "K")),
    lambda a, b: TarvelArray(b, "K") - a,
])
def test_incompatible_units_raise_when_the_graph_is_built(build):
    # The error the in-memory operation raises, before anything is computed.
    with pytest.raises(TypeError) as in_memory:
        build(TarvelArray(np.ones(12), "km"), np.ones(12))
    assert "km" in str(in_memory.value)
    with pytest.raises(TypeError) as lazy:
        build(TarvelArray(poisoned(), "km"), poisoned())
    assert str(lazy.value) == str(in_memory.value)


def test_a_lazy_exponent_with_units_on_the_base_is_refused():
    # The exponent of an array with units must be one number, and a lazy one is not known yet.
    with pytest.raises(ValueError, match="single exponent"):
        TarvelArray(poisoned(), "km") ** TarvelArray(poisoned())
    assert tarvel.dask.is_lazy(TarvelArray(poisoned()) ** TarvelArray(poisoned()))


def test_formulas_that_need_memory_say_so_rather_than_compute():
    with pytest.raises(TypeError, match="compute"):
        TarvelArray(poisoned(), "km").round(2)
    with pytest.raises(TypeError, match="no plain values"):
        np.asarray(TarvelArray(poisoned(), "km"))


def test_construction_keeps_the_payload_lazy_and_converts_dtypes():
    ints = da.arange(6, chunks=4)
    array = TarvelArray(ints, "km")
    assert tarvel.dask.is_lazy(array) and array.dtype == np.float64 and array.shape == (6,)
    assert payload(TarvelArray(ints.astype(np.float32), "m", copy=False)).dtype == np.float32
    scaled = TarvelArray(da.from_array(np.array([1.5, -2.0]), chunks=1), Tarvel.unit("m") * 4)
    assert fingerprint(scaled.compute()) == fingerprint(TarvelArray(np.array([1.5, -2.0]), Tarvel.unit("m") * 4))
    with pytest.raises(TypeError):
        TarvelArray(da.from_array(np.array(["a"]), chunks=1), "m")


def test_compute_persist_and_pickle():
    a, b = operands(lazy=True)
    assert a.compute() is not a and not tarvel.dask.is_lazy(a.compute())
    total, product = dask.compute((a * b).sum(), a * b)
    assert isinstance(total, Tarvel) and isinstance(product, TarvelArray)
    persisted = (a * b).persist()
    assert tarvel.dask.is_lazy(persisted)
    assert fingerprint(persisted.compute()) == fingerprint(product)
    (persisted_too,) = dask.persist(a.as_unit("m"))
    assert fingerprint(persisted_too.compute()) == fingerprint(a.compute().as_unit("m"))
    clone = pickle.loads(pickle.dumps(a.as_unit("mm")))
    assert tarvel.dask.is_lazy(clone)
    assert fingerprint(clone.compute()) == fingerprint(a.compute().as_unit("mm"))
    # An in-memory array is no collection: compute() hands it back, and dask passes it through.
    memory = TarvelArray([1.0, 2.0], "s")
    assert memory.compute() is memory and dask.compute(memory)[0] is memory
    assert not dask.is_dask_collection(memory)
    assert dask.base.tokenize(a) != dask.base.tokenize(a.as_unit("m") / 1000 * Tarvel.unit("km") / Tarvel.unit("m"))
    assert dask.base.tokenize(a) == dask.base.tokenize(a)


def test_helpers():
    memory = TarvelArray(np.arange(10.0), "°C")
    chunked = tarvel.dask.from_tarvel_array(memory, chunks=3)
    assert tarvel.dask.is_lazy(chunked) and payload(chunked).chunks == ((3, 3, 3, 1),)
    assert fingerprint(chunked.compute()) == fingerprint(memory)
    assert tarvel.dask.lazy(da.ones(2), "m").units() == Tarvel.unit("m")
    with pytest.raises(TypeError):
        tarvel.dask.lazy(np.ones(2), "m")


def test_a_chunked_computation_of_ten_million_elements_on_threads():
    n, chunks = 10**7, 10**6
    rng = np.random.default_rng(1)
    speeds = rng.uniform(0, 120, n)
    times = rng.uniform(0, 60, n)
    lazy_distance = (TarvelArray(da.from_array(speeds, chunks=chunks), "km/hr").as_unit("m/s")
                     * TarvelArray(da.from_array(times, chunks=chunks), "s"))
    lazy_total = lazy_distance.sum().as_unit("km")
    distance, total = dask.compute(lazy_distance, lazy_total, scheduler="threads")
    in_memory = TarvelArray(speeds, "km/hr").as_unit("m/s") * TarvelArray(times, "s")
    assert fingerprint(distance[::9973]) == fingerprint(in_memory[::9973])
    assert np.array_equal(distance.as_number("m"), in_memory.as_number("m"))
    # The same reduction in the same chunks over the in-memory magnitudes gives the same bits.
    same_chunks = da.from_array(in_memory.as_number("m"), chunks=chunks).sum().compute(scheduler="threads")
    assert bits(magnitude(total.as_unit("m"))) == bits(same_chunks)
    assert total.units() == Tarvel.unit("km")
    assert math.isclose(magnitude(total.as_unit("m")), magnitude(in_memory.sum().as_unit("m")), rel_tol=1e-12)


def test_a_local_cluster_computes_the_same():
    distributed = pytest.importorskip("distributed")
    n, chunks = 10**7, 2 * 10**6
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        # The data are made on the workers, so that no large graph travels.
        random = da.random.RandomState(2)
        temperatures, masses = random.uniform(-40, 40, n, chunks=chunks), random.uniform(0, 5, n, chunks=chunks)
        kelvin = TarvelArray(temperatures, "°C").as_unit("K")
        product = (kelvin * TarvelArray(masses, "kg")).as_unit("K.g")
        # The lazy array itself travels to a worker inside a task, pickled.
        remote_shape = client.submit(lambda array: array.shape, kelvin).result()
        plain_temperatures, plain_masses, total, computed = client.compute(
            [temperatures, masses, product.sum(), product], sync=True)
        again = client.persist(product).compute()
    assert remote_shape == (n,)
    in_memory = (TarvelArray(plain_temperatures, "°C").as_unit("K") * TarvelArray(plain_masses, "kg")).as_unit("K.g")
    assert isinstance(computed, TarvelArray) and computed.units() == Tarvel.unit("K.g")
    assert np.array_equal(computed.as_number("K.g"), in_memory.as_number("K.g"))
    assert np.array_equal(again.as_number("K.g"), in_memory.as_number("K.g"))
    # The sum's bits are NumPy's to choose here: a chunk that travelled between workers may arrive at an
    # unaligned address, and NumPy adds an unaligned buffer in blocks, in another order. The same sum on
    # threads is compared bit for bit above.
    same_chunks = da.from_array(in_memory.as_number("K.g"), chunks=chunks).sum().compute(scheduler="threads")
    assert total.units() == Tarvel.unit("K.g")
    assert math.isclose(magnitude(total), same_chunks, rel_tol=1e-12)


PROPERTY = settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
UNITS = ["km", "m", "mm", "ft", "s", "km/hr", "°C", "°F", "K", "kPa", Tarvel.unit("m") ** 1.5, None]
ELEMENTWISE = [operator.add, operator.sub, operator.mul, operator.truediv, operator.lt, operator.ne,
               lambda a, b: b >= a, lambda a, b: b.as_number(a.units()),
               lambda a, b: a.as_unit(b.units()), lambda a, b: -a + 0 * b, lambda a, b: np.sqrt(abs(a)) * b,
               lambda a, b: np.square(a) / np.reciprocal(b)]


@PROPERTY
@given(st.sampled_from(ELEMENTWISE), st.sampled_from(UNITS), st.sampled_from(UNITS), st.integers(1, 4),
       hnp.arrays(st.sampled_from([np.float64, np.float32]), 9, elements=st.floats(width=32)),
       hnp.arrays(st.sampled_from([np.float64, np.float32]), 9, elements=st.floats(width=32)))
def test_elementwise_results_over_dask_equal_numpy_bit_for_bit(op, unit_a, unit_b, chunks, a, b):
    def outcome(lazy):
        wrap = (lambda m: da.from_array(m, chunks=chunks)) if lazy else (lambda m: m)
        try:
            result = op(TarvelArray(wrap(a), unit_a), TarvelArray(wrap(b), unit_b))
        except (TypeError, ValueError, ArithmeticError) as error:
            return type(error), str(error)
        return fingerprint(dask.compute(result)[0])

    assert outcome(lazy=True) == outcome(lazy=False)


@pytest.mark.parametrize("op", [operator.lt, operator.gt, operator.eq, lambda a, b: b > a])
def test_a_float32_operand_is_converted_in_double_before_comparing(op):
    # Equal in double; the float32 quotient would be another number.
    b = np.array([0.1, 0.3, 7.7], dtype=np.float32)
    a = b.astype(np.float64) / 1000
    expected = op(TarvelArray(a, "km"), TarvelArray(b, "m"))
    lazy = op(TarvelArray(da.from_array(a), "km"), TarvelArray(da.from_array(b), "m"))
    assert lazy.compute().tolist() == expected.tolist()


# --- What would read a lazy array into memory is refused, never computed silently ----------------------

NEEDS_COMPUTE = {
    "sort": lambda a: np.sort(a),
    "copy": lambda a: np.copy(a),
    "size": lambda a: np.size(a),
    "percentile (approximate when lazy)": lambda a: np.percentile(a, 50),
    "cumsum without axis": lambda a: a.cumsum(),
    "np.cumsum without axis": lambda a: np.cumsum(a),
    "insert without axis": lambda a: np.insert(a, 1, a[0]),
    "delete without axis": lambda a: np.delete(a, 1),
    "tolist": lambda a: a.tolist(),
    "latex": lambda a: a.latex(),
    "descriptive": lambda a: a.descriptive(),
    "_repr_latex_": lambda a: a._repr_latex_(),
}


@pytest.mark.parametrize("call", NEEDS_COMPUTE.values(), ids=NEEDS_COMPUTE.keys())
def test_operations_that_would_compute_refuse_with_the_way_out(call):
    array = TarvelArray(da.arange(10.0, chunks=5), "km")
    with pytest.raises(TypeError, match=r"call \.compute\(\) first"):
        call(array)


def test_token_follows_the_units_identity_not_their_printed_name():
    first = Tarvel.custom("blob", "bl", 2)
    second = Tarvel.custom("blob", "bl", 3)
    values = da.ones(3, chunks=3)
    assert str(first.units()) == str(second.units())
    assert dask.base.tokenize(TarvelArray(values, first)) != dask.base.tokenize(TarvelArray(values, second))
    assert dask.base.tokenize(TarvelArray(values, first)) == dask.base.tokenize(TarvelArray(values, first))
