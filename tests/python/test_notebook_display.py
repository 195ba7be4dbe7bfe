"""What a notebook shows for an array: IPython's display formatter sees plain text and LaTeX."""

import pytest

formatters = pytest.importorskip("IPython.core.formatters")
pytest.importorskip("numpy")

from tarvel import TarvelArray  # noqa: E402

# Magnitudes as the scalar's LaTeX writes them, the units once after them.
LATEX = [
    (TarvelArray([1.5, 2], "m/s2"), r"$\left[1.5,\ 2\right]~\mathrm{\frac{m}{s^2}}$"),
    (TarvelArray([[1, 2], [3, 4]], "km"), r"$\begin{bmatrix}1 & 2 \\ 3 & 4\end{bmatrix}~\mathrm{km}$"),
]


@pytest.mark.parametrize("array", [array for array, _ in LATEX])
def test_plain_text_is_the_repr(array):
    data, _ = formatters.DisplayFormatter().format(array)
    assert data["text/plain"] == repr(array)


@pytest.mark.parametrize("array, latex", LATEX)
def test_latex_shows_magnitudes_and_units_once(array, latex):
    data, _ = formatters.DisplayFormatter().format(array)
    assert data["text/latex"] == latex


def test_arrays_beyond_a_matrix_or_the_element_limit_show_text_only():
    import numpy as np

    for array in (TarvelArray(np.zeros((2, 2, 2)), "m"), TarvelArray(np.zeros(401), "m")):
        data, _ = formatters.DisplayFormatter().format(array)
        assert "text/latex" not in data and data["text/plain"] == repr(array)
