"""The units added to the catalogue, and proof that nothing that resolved before changed its meaning."""

import gzip
import json
import pathlib

import pytest

from tarvel import Tarvel

RECORD = pathlib.Path(__file__).parent / "data" / "resolutions.json.gz"
import sys

sys.path.insert(0, str(RECORD.parent))
from record_resolutions import digest  # noqa: E402

# Names, symbols and aliases the catalogue gained; a text refused before may resolve now only when it
# ends in one of them (after a prefix).
ADDED = ["%", "ppm", "ppb", "Jy", "rpm", "Ah", "percent", "part per million", "part per billion", "jansky",
         "revolution per minute", "ampere hour", "yr", "au", "l", "ml", "arcmin", "arcminute",
         "arcsec", "arcsecond", "mas", "uas", "Da"]


def test_every_earlier_resolution_is_unchanged():
    record = json.loads(gzip.decompress(RECORD.read_bytes()))
    assert len(record) > 16000
    changed = [t for t, d in record.items() if d and digest(t) != d]
    assert changed == []
    newly = [t for t, d in record.items() if not d and digest(t)]
    assert [t for t in newly if not any(t.endswith(a) for a in ADDED)] == []


@pytest.mark.parametrize(
    "text, same_as, factor",
    [
        ("%", "", 0.01),
        ("ppm", "", 1e-6),
        ("ppb", "", 1e-9),
        ("yr", "y", 1.0),
        ("au", "AU", 1.0),
        ("l", "L", 1.0),
        ("ml", "mL", 1.0),
        ("arcmin", "'", 1.0),
        ("arcsec", "''", 1.0),
        ("arcsecond", "''", 1.0),
        ("mas", "''", 1e-3),
        ("uas", "''", 1e-6),
        ("Jy", "W/m2.Hz", 1e-26),
        ("mJy", "W/m2.Hz", 1e-29),
        ("rpm", "1/min", 1.0),  # 60 rpm == 1 Hz
        ("mAh", "A.hr", 1e-3),
        ("Da", "amu", 1.0),
    ],
)
def test_added_units(text, same_as, factor):
    q = Tarvel.unit(text)
    ref = Tarvel.unit(same_as) if same_as else Tarvel.empty()
    assert q.is_compatible(ref)
    assert q.as_number(ref) == pytest.approx(factor, rel=1e-15)


def test_rpm_is_a_rate_of_turns():
    assert (Tarvel.unit("rpm") * 60).as_number("Hz") == pytest.approx(1.0)
