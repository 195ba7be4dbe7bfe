"""Every example in README.md and in the documentation pages (docs/**/*.md) runs and prints what the
page says. The site build runs them too; here they run against whatever build the suite tests."""

import doctest
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
PAGES = [README] + sorted((ROOT / "docs").glob("**/*.md"))
BLOCKS = {
    page: re.findall(r"```pycon\n(.*?)```", page.read_text(encoding="utf-8"), flags=re.S)
    for page in PAGES
    if "_build" not in page.parts and "_generated" not in page.parts
}
CASES = [(page, index) for page, blocks in BLOCKS.items() for index in range(len(blocks))]


INTEGRATIONS = {
    "pandas": ("pd.", "tarvel.pandas"),
    "matplotlib": ("matplotlib", "plt."),
    "xarray": ("xr.", "tarvel.xarray"),
    "dask": ("import dask", "tarvel.dask"),
    "numpy": ("np.", "TarvelArray("),
    "pyarrow": ("to_parquet",),
    "pydantic": ("pydantic",),
}


def run_block(page, index, globs, report):
    test = doctest.DocTestParser().get_doctest(BLOCKS[page][index], globs, f"{page.name} block {index}",
                                                str(page), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    result = runner.run(test, clear_globs=False, out=None if report else lambda _: None)
    globs.update(test.globs)  # the test ran on a copy
    return result


def test_readme_has_examples():
    assert len(BLOCKS[README]) >= 1
    assert len(CASES) >= 10


@pytest.mark.parametrize(("page", "index"), CASES,
                         ids=[f"{p.relative_to(ROOT)}:{i}" for p, i in CASES])
def test_example(page, index, monkeypatch):
    # The integrations' examples need their library, an optional dependency.
    for library, marks in INTEGRATIONS.items():
        if any(mark in block for block in BLOCKS[page][: index + 1] for mark in marks):
            pytest.importorskip(library)
    monkeypatch.chdir(page.parent)
    # Blocks of a page share names, as for a reader typing them in order; earlier blocks set the scene.
    globs = {}
    exec("from tarvel import Tarvel, LogTarvel, TarvelArray", globs)
    for earlier in range(index):
        run_block(page, earlier, globs, report=False)
    assert run_block(page, index, globs, report=True).failed == 0
