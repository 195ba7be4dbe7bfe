"""The mypy plugin tarvel.mypy, run once over the files of tests/typing/plugin_cases: each expected error
and note is written on its line ("# E: text", "# N: text"), and nothing else may be reported."""

import os
import pathlib
import re
import subprocess
import sys

import pytest

import tarvel

pytest.importorskip("mypy")

CASES = pathlib.Path(__file__).resolve().parents[1] / "typing" / "plugin_cases"
STUBS = pathlib.Path(__file__).resolve().parents[2] / "python" / "tarvel-stubs"
REPORTED = re.compile(r"^(?P<path>.+?\.pyi?):(?P<line>\d+): (?P<kind>error|note): (?P<text>.*)$")
EXPECTED = re.compile(r"#\s*(?P<kind>[EN]): (?P<text>.*)$")


def expectations():
    for path in sorted(CASES.glob("*.py")):
        for number, line in enumerate(path.read_text().splitlines(), start=1):
            if match := EXPECTED.search(line):
                kind = "error" if match.group("kind") == "E" else "note"
                yield path.name, number, kind, match.group("text")


@pytest.fixture(scope="module")
def reported(tmp_path_factory):
    work = tmp_path_factory.mktemp("mypy")
    # The stubs as the package "tarvel" (an installed tarvel has them as tarvel-stubs); the plugin is
    # imported with tarvel itself, from wherever this test imports it.
    (work / "stubs").mkdir()
    (work / "stubs" / "tarvel").symlink_to(STUBS, target_is_directory=True)
    (work / "mypy.ini").write_text(
        "[mypy]\nplugins = tarvel.mypy\nmypy_path = stubs\ncache_dir = cache\nshow_error_codes = True\n"
        "ignore_missing_imports = True\n"
    )
    environment = dict(os.environ, PYTHONPATH=str(pathlib.Path(tarvel.__file__).resolve().parent))
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file", "mypy.ini", "--no-pretty", "--no-error-summary",
         "--hide-error-context", str(CASES)],
        cwd=work, env=environment, capture_output=True, text=True, timeout=900,
    )
    lines = []
    for line in result.stdout.splitlines():
        if match := REPORTED.match(line):
            name = pathlib.Path(match.group("path")).name
            lines.append((name, int(match.group("line")), match.group("kind"), match.group("text")))
        else:
            lines.append(("?", 0, "unparsed", line))
    assert result.returncode in (0, 1), result.stdout + result.stderr
    return lines


@pytest.mark.parametrize("file, line, kind, text", list(expectations()))
def test_expected_message_is_reported(reported, file, line, kind, text):
    on_line = [r for r in reported if r[0] == file and r[1] == line and r[2] == kind]
    assert any(text in r[3] for r in on_line), on_line


def test_nothing_else_is_reported(reported):
    expected = {(file, line, kind) for file, line, kind, _ in expectations()}
    unexpected = [r for r in reported if (r[0], r[1], r[2]) not in expected]
    assert unexpected == []
