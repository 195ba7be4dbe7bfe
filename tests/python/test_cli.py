"""The installed ``tarvel`` command, run as a user runs it: a separate process, exit status and streams."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest


def _find_script():
    # Prefer the script of the environment running the tests; PATH may hold another installation's.
    beside = Path(sys.executable).with_name("tarvel")
    if beside.is_file() and os.access(beside, os.X_OK):
        return str(beside)
    return shutil.which("tarvel")


SCRIPT = _find_script()
pytestmark = pytest.mark.skipif(
    SCRIPT is None,
    reason="the tarvel console script is not installed (pip install . puts it beside the interpreter)",
)

ENV = {**os.environ, "PYTHONUTF8": "1"}


def run(*args):
    return subprocess.run(
        [SCRIPT, *args], capture_output=True, text=True, encoding="utf-8", env=ENV, timeout=60
    )


@pytest.mark.parametrize(
    ("args", "expected"),
    [
        (["36 km/hr", "m/s"], "10 [m/s]"),
        # The common notations: plurals, "h" for the hour.
        (["3 furlongs", "m"], "603.504 [m]"),
        (["36 km/h", "m/s"], "10 [m/s]"),
        (["1 mi", "ft"], "5280 [ft]"),
        (["3 ft.lbf", "J", "--exact"], "4.067453844994201 [J]"),
        # At most 12 significant digits unless asked otherwise.
        (["3 ft.lbf", "J"], "4.06745384499 [J]"),
        (["37 Celsius", "Fahrenheit"], "98.6 [°F]"),
        (["37 Celsius", "Fahrenheit", "--exact"], "98.59999999999998 [°F]"),
        (["1 J", "eV"], "6241509074460000000 [eV]"),
        (["1 ft.lbf", "J", "--latex"], "1.35581794833~\\mathrm{J}"),
        (["nan m", "km"], "NaN [km]"),
        # The printed form reads back as it is.
        (["9.81 [m/s2]", "m/s2"], "9.81 [m/s2]"),
        (["[km]", "m"], "1000 [m]"),
        (["5 []", "1"], "5 []"),
        # Unit names with spaces, and the offset of an absolute temperature.
        (["20 degree Celsius", "K"], "293.15 [K]"),
        (["1 K", "°C"], "-272.15 [°C]"),
        # The leading number in Python's float syntax.
        (["1e3 m", "km"], "1 [km]"),
        (["-2.5 km", "m"], "-2500 [m]"),
        ([".5 hr", "min"], "30 [min]"),
        (["1_000 m", "km"], "1 [km]"),
        (["inf m", "km"], "inf [km]"),
        (["2km", "m"], "2000 [m]"),
        (["  36   km/hr  ", "m/s"], "10 [m/s]"),
        # No number: one of the unit. "nan" must not be split off a prefixed name.
        (["km", "m"], "1000 [m]"),
        (["nanometer", "m"], "0.000000001 [m]"),
        (["1 km/m", "1"], "1000 []"),
        # Rounding and the other text forms.
        (["1 mi", "km", "--sig", "3"], "1.61 [km]"),
        (["1 mi", "km", "--digits", "1"], "1.6 [km]"),
        (["1234.5 m", "m", "--digits", "-2"], "1200 [m]"),
        (["1e300 m", "m", "--digits", "10"], "1" + "0" * 300 + " [m]"),
        (["36 km/hr", "m/s", "--descriptive"], "10 [meter/second]"),
        (["2.5 km", "m", "--latex"], "2500~\\mathrm{m}"),
        (["--constant", "speed of light", "km/s"], "299792.458 [km/s]"),
        (["--log", "1 B", "dB", "--exact"], "9.999999999999998 [dB]"),
        (["--log", "1 B", "dB"], "10 [dB]"),
        (["--log", "3 [dB]", "B"], "0.3 [B]"),
        (["--log", "3 dB", "B", "--sig", "2"], "0.3 [B]"),
    ],
)
def test_conversion_prints_one_line(args, expected):
    result = run(*args)
    assert (result.returncode, result.stdout, result.stderr) == (0, expected + "\n", "")


@pytest.mark.parametrize(
    ("args", "expected"),
    [
        (["36 km/hr"], ["quantity:   36 [km/hr]", "simplified: 36 [km/hr]", "base units: 10 [m/s]"]),
        (
            ["3 ft.lbf", "--descriptive", "--exact"],
            [
                "quantity:   3 [foot.pound-force]",
                "simplified: 3 [foot.pound-force]",
                "base units: 4.067453844994201 [kilogram.meter2/second2]",
            ],
        ),
        (
            ["3 ft.lbf", "--descriptive"],
            [
                "quantity:   3 [foot.pound-force]",
                "simplified: 3 [foot.pound-force]",
                "base units: 4.06745384499 [kilogram.meter2/second2]",
            ],
        ),
        (["--log", "3 dB"], ["quantity:   3 [dB]", "ratio:      1.99526231497"]),
        (["5"], ["quantity:   5 []", "simplified: 5 []", "base units: 5 []"]),
        (["--constant", "c", "--sig", "2"],
         ["quantity:   300000000 [m/s]", "simplified: 300000000 [m/s]", "base units: 300000000 [m/s]"]),
        (["--log", "3 dB", "--digits", "3"], ["quantity:   3 [dB]", "ratio:      1.995"]),
        (["--log", "-2 B"], ["quantity:   -2 [B]", "ratio:      0.01"]),
    ],
)
def test_without_target_shows_the_forms(args, expected):
    result = run(*args)
    assert (result.returncode, result.stdout.splitlines(), result.stderr) == (0, expected, "")


@pytest.mark.parametrize(
    ("args", "message", "notes"),
    [
        (["36 km/hr", "s"], "[km/hr] and [s] are not compatible", []),
        (["3 furlongz", "m"], "Unit furlongz not found", ["did you mean 'furlong'?"]),
        (["36 km/hrr", "m/s"], "Unit km/hrr not found", ["'hrr' is not a unit", "did you mean 'km/hr'?"]),
        (["1 m", "xyz"], "Unit xyz not found", []),
        ([""], "could not read a quantity from ''", []),
        (["1.2.3 m"], "could not read a quantity from '1.2.3 m'", []),
        (["--constant", "nope"], "Constant nope not found", []),
        (["--constant", "Planck constant"], "Constant Planck constant not found",
         ["did you mean \"planck's constant\" or 'planck'?"]),
        (["--log", "3 decibels"], "Logarithmic ratio unit decibels not found", ["did you mean 'decibel'?"]),
        (["--log", "3 dB", "m"], "Logarithmic ratio unit m not found", []),
        # A message is always one line, whatever the user typed.
        (["1 m", "x\ny"], "Unit x\\ny not found", []),
    ],
)
def test_library_errors_are_one_line_with_notes_under_it(args, message, notes):
    result = run(*args)
    expected = "".join(f"{line}\n" for line in [f"tarvel: {message}", *(f"  {note}" for note in notes)])
    assert (result.returncode, result.stdout, result.stderr) == (2, "", expected)


@pytest.mark.parametrize(
    "args",
    [
        [],
        ["1 m", "m", "extra"],
        ["--sig", "0", "1 m"],
        ["--sig", "x", "1 m"],
        ["--digits", "99999999999", "1 m"],
        ["--latex", "--descriptive", "1 m"],
        ["--sig", "2", "--digits", "2", "1 m"],
        ["--log", "--latex", "1 dB"],
        ["--log", "--constant", "c"],
        ["--constant", "c", "km/s", "m/s"],
        ["--exact", "--sig", "3", "1 m"],
    ],
)
def test_usage_errors_exit_2(args):
    result = run(*args)
    assert result.returncode == 2
    assert result.stdout == ""
    assert result.stderr.startswith("usage: tarvel")


def test_help_shows_examples():
    result = run("--help")
    assert (result.returncode, result.stderr) == (0, "")
    assert 'tarvel "36 km/hr" m/s' in result.stdout
    assert "--constant" in result.stdout and "--log" in result.stdout


@pytest.mark.parametrize("form", ['"9.81 [m/s2]"', '"[m/s2]"', '"5 []"', '"36km/hr"', "Python's float syntax",
                                  "--exact", "12 significant digits"])
def test_help_names_the_accepted_forms(form):
    assert form in " ".join(run("--help").stdout.split())


def test_module_entry_matches_script():
    result = subprocess.run(
        [sys.executable, "-m", "tarvel_cli", "1 mi", "ft"],
        capture_output=True, text=True, encoding="utf-8", env=ENV, timeout=60,
    )
    assert (result.returncode, result.stdout) == (0, "5280 [ft]\n")


def test_a_run_imports_nothing_heavy():
    # Start-up time is what a shell user feels; these would each add milliseconds to every run.
    heavy = {"importlib.metadata", "pkg_resources", "typing", "decimal", "json", "subprocess",
             "asyncio", "inspect", "email", "numpy"}
    code = (
        # A parser's own imports are the standard library's cost (from 3.14 on it imports inspect).
        "import argparse, sys\n"
        "argparse.ArgumentParser().parse_args([])\n"
        "before = set(sys.modules)\n"
        "import tarvel_cli\n"
        "tarvel_cli.main(['1 mi', 'ft'])\n"
        f"print(sorted((set(sys.modules) - before) & {heavy!r}))\n"
    )
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=ENV,
                            timeout=60)
    assert (result.returncode, result.stdout.splitlines()[-1]) == (0, "[]")
