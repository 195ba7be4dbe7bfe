"""Helpers shared by the quantity test modules."""

import pytest

from tarvel import Tarvel


def q(value, units="m"):
    return Tarvel.unit(units) * value


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value
