"""Checks of the built documentation site. Build it first:
`python -m sphinx -W --keep-going -b html docs docs/_build/html`."""

import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SITE = ROOT / "docs" / "_build" / "html"


@pytest.fixture(scope="session")
def site():
    if not (SITE / "index.html").exists():
        pytest.fail(f"the site is not built: run python -m sphinx -W -b html docs {SITE}")
    return SITE
