"""Every example in README.md runs and prints what the README says."""

import doctest
import pathlib
import re

import pytest

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
BLOCKS = re.findall(r"```pycon\n(.*?)```", README.read_text(encoding="utf-8"), flags=re.S)


INTEGRATIONS = {
    "pandas": ("pd.", "tarvel.pandas"),
    "matplotlib": ("matplotlib", "plt."),
    "xarray": ("xr.", "tarvel.xarray"),
    "dask": ("import dask", "tarvel.dask"),
    "pyarrow": ("to_parquet",),
    "pydantic": ("pydantic",),
}


def run_block(index, globs, report):
    test = doctest.DocTestParser().get_doctest(BLOCKS[index], globs, f"README block {index}", str(README), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    result = runner.run(test, clear_globs=False, out=None if report else lambda _: None)
    globs.update(test.globs)  # the test ran on a copy
    return result


def test_readme_has_examples():
    assert len(BLOCKS) >= 10


@pytest.mark.parametrize("index", range(len(BLOCKS)))
def test_readme_example(index):
    # The integrations' examples need their library, an optional dependency.
    for library, marks in INTEGRATIONS.items():
        if any(mark in BLOCKS[index] for mark in marks):
            pytest.importorskip(library)
    # Blocks share names, as for a reader typing them in order; earlier blocks only set the scene.
    globs = {}
    for earlier in range(index):
        run_block(earlier, globs, report=False)
    assert run_block(index, globs, report=True).failed == 0
