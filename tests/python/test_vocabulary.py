"""Vocabularies of the user's own units: definitions, prefixes, isolation, immutability and pickling."""

import io
import os
import pickle
import subprocess
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

from tarvel import Tarvel, TarvelArray
from tarvel.vocabulary import Vocabulary

LINES = """
# money and counting
dozen = 12 = dz
gross = 12 dozen          # uses the line above
euro = 1.1 USD = EUR ; prefixed
smoot = 1.7018 m = smt ; prefixed
"""


@pytest.fixture(scope="module")
def vocabulary():
    return Vocabulary(definitions=LINES)


@pytest.mark.parametrize(
    "text, reference, value",
    [("dozen", "", 12), ("dz", "", 12), ("gross", "", 144), ("3 dz", "", 36), ("EUR", "USD", 1.1),
     ("kEUR", "USD", 1100.0), ("kiloeuro", "USD", 1100.0), ("smoot", "m", 1.7018), ("km/smt", "", 1000 / 1.7018),
     ("EUR/kg", "USD/kg", 1.1), ("EUR kg^-1", "USD/kg", 1.1), ("2 smoot*smoot", "m2", 2 * 1.7018**2)],
)
def test_vocabulary_reads_its_names(vocabulary, text, reference, value):
    q = vocabulary.parse(text)
    assert q.as_number(Tarvel.unit(reference) if reference else Tarvel.empty()) == pytest.approx(value, rel=1e-15)


@pytest.mark.parametrize("text", ["kdz", "kilodozen", "MEUR2x", "dozens of"])
def test_unprefixed_and_unknown_names_are_refused(vocabulary, text):
    with pytest.raises(LookupError):
        vocabulary.unit(text)


def test_without_the_vocabulary_its_names_are_unknown(vocabulary):
    with pytest.raises(LookupError):
        Tarvel.parse_unit("dz")
    assert str(Tarvel.parse_unit("dz", vocabulary=vocabulary)) == str(vocabulary.unit("dz"))


def test_two_vocabularies_never_interfere():
    a = Vocabulary(definitions="widget = 2 kg = wg")
    b = Vocabulary(definitions="widget = 3 kg = wg")
    assert a.unit("wg").as_number("kg") == 2.0 and b.unit("wg").as_number("kg") == 3.0
    assert a.unit("widget").as_number("kg") == 2.0


@pytest.mark.parametrize(
    "definitions, message",
    [("meter = 2 m", "already names (a|the catalogue) unit"), ("x = 1 = m", "already names (a|the catalogue) unit"),
     ("x = 2\nx = 3", "twice"),
     ("nonsense", "is not 'name = definition"), ("y = 3 blorp", "blorp")],
)
def test_bad_definitions_are_refused(definitions, message):
    with pytest.raises((ValueError, LookupError), match=message):
        Vocabulary(definitions=definitions)


def test_custom_units_and_files(tmp_path):
    plank = Tarvel.custom("plank", "pk", Tarvel.unit("m") * 3)
    path = tmp_path / "units.txt"
    path.write_text("beam = 4 plank = bm\n", encoding="utf-8")
    v = Vocabulary.from_file(path, units=[plank])
    assert v.unit("bm").as_number("m") == 12.0
    assert v.names == ("plank", "pk", "beam", "bm")


def test_vocabulary_is_immutable(vocabulary):
    with pytest.raises(AttributeError):
        vocabulary._entries = ()
    with pytest.raises(AttributeError):
        vocabulary.extra = 1


def test_arrays_and_readers_take_a_vocabulary(vocabulary):
    a = TarvelArray([1.0, 2.0], "EUR/kg", vocabulary=vocabulary)
    assert list(a.as_number("USD/kg")) == pytest.approx([1.1, 2.2], rel=1e-15)
    assert vocabulary.array([1.0], "dz")[0] == vocabulary.unit("dz")
    pytest.importorskip("pandas")
    import tarvel.pandas as tpd

    frame = tpd.read_csv(io.StringIO("n [dz],p [EUR/kg]\n1,2\n"), vocabulary=vocabulary)
    assert frame["n"].tolist()[0].as_unitless() == 12.0
    assert frame["p"].tolist()[0].as_number("USD/kg") == pytest.approx(2.2, rel=1e-15)


@given(st.floats(-1e6, 1e6, allow_nan=False))
def test_values_read_with_a_vocabulary_are_the_product(vocabulary, number):
    assert vocabulary.parse(f"{number!r} EUR") == Tarvel.parse(repr(number)) * vocabulary.unit("EUR")


def test_pickles_load_in_a_fresh_process(vocabulary):
    data = pickle.dumps((vocabulary, vocabulary.parse("3 kEUR"), vocabulary.array([1.0, 2.0], "dz")))
    code = ("import pickle, sys; v, q, a = pickle.loads(sys.stdin.buffer.read()); "
            "print(q.as_number('USD'), v.unit('gross').as_unitless(), a.as_number(a.units()).tolist())")
    out = subprocess.run([sys.executable, "-c", code], input=data, capture_output=True,
                         env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    expected = [repr(vocabulary.parse("3 kEUR").as_number("USD")), "144.0", "[1.0,", "2.0]"]
    assert out.stdout.decode().split() == expected, out.stderr.decode()
    assert pickle.loads(pickle.dumps(vocabulary)) == vocabulary
