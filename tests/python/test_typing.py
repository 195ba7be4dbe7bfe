"""The type information shipped with tarvel: the declared types are the real ones, and a type checker
really finds them for the installed module (stub-only package tarvel-stubs)."""

import importlib
import importlib.util
import os
import pathlib
import re
import runpy
import shutil
import subprocess
import sys
import sysconfig

import pytest

import tarvel

USAGE = pathlib.Path(__file__).resolve().parents[1] / "typing" / "usage.py"
MODULE_DIR = pathlib.Path(tarvel.__file__).resolve().parent
SITE_DIRS = {pathlib.Path(sysconfig.get_paths()[key]).resolve() for key in ("purelib", "platlib")}

needs_installed = pytest.mark.skipif(
    MODULE_DIR not in SITE_DIRS,
    reason=f"tarvel is imported from {MODULE_DIR}, not from this interpreter's site-packages; the stubs "
    "are only found for an installed tarvel (pip install '.[test]')",
)
needs_mypy = pytest.mark.skipif(
    importlib.util.find_spec("mypy") is None, reason="mypy is not installed (it is in the 'test' extra)"
)

# "usage.py:121: error: Argument 1 to ... [arg-type]"
ERROR_LINE = re.compile(r"^usage\.py:(\d+): error: .*  \[([a-z-]+)\]$")


def run_mypy(tmp_path, *arguments):
    # A directory of its own: no configuration, cache or module of the repository is picked up.
    (tmp_path / "mypy.ini").write_text("[mypy]\nstrict = True\ncache_dir = cache\n")
    environment = {key: value for key, value in os.environ.items() if key not in ("MYPYPATH", "PYTHONPATH")}
    return subprocess.run(
        [sys.executable, "-m", *arguments], cwd=tmp_path, env=environment, capture_output=True, text=True,
        timeout=600,
    )


def test_declared_types_are_the_types_the_module_returns():
    pytest.importorskip("numpy")
    # Run as a program, the usage file's assert_type checks the runtime type of every expression.
    runpy.run_path(str(USAGE), run_name="usage")


@needs_installed
def test_stub_package_is_installed_beside_the_module():
    assert (MODULE_DIR / "tarvel-stubs" / "__init__.pyi").is_file()


@needs_installed
@needs_mypy
def test_mypy_checks_usage_against_the_installed_stubs(tmp_path):
    shutil.copy(USAGE, tmp_path / "usage.py")
    expected = [
        (number, match.group(1))
        for number, line in enumerate(USAGE.read_text().splitlines(), start=1)
        if (match := re.search(r"# expected error: ([a-z-]+)$", line))
    ]
    assert len(expected) == 1
    result = run_mypy(tmp_path, "mypy", "--config-file", "mypy.ini", "--no-pretty", "usage.py")
    output = result.stdout + result.stderr
    errors = [(int(m.group(1)), m.group(2)) for line in output.splitlines() if (m := ERROR_LINE.match(line))]
    # Without the stubs every use of tarvel would be Any (or the import itself an error): the one
    # expected error, and nothing else, shows that mypy read the declared types.
    assert errors == expected, output
    assert 'incompatible type "int"; expected "str"' in output
    assert "Found 1 error in 1 file" in output
    assert result.returncode == 1


@needs_installed
@needs_mypy
def test_stubs_match_the_module_at_runtime(tmp_path):
    # Every class, method, parameter name, default and positional-only marker against the real module.
    # A submodule whose library has no wheel for this Python (PyTables on the newest) cannot be imported,
    # so its stub is not checked here; every other one is.
    unimportable = []
    for stub in sorted((MODULE_DIR / "tarvel-stubs").glob("*.pyi")):
        if stub.stem != "__init__":
            try:
                importlib.import_module(f"tarvel.{stub.stem}")
            except ImportError:
                unimportable.append(stub.stem)
    (tmp_path / "allowlist.txt").write_text("".join(f"tarvel\\.{name}(\\..*)?\n" for name in unimportable))
    result = run_mypy(tmp_path, "mypy.stubtest", "tarvel", "--mypy-config-file", "mypy.ini",
                      "--allowlist", "allowlist.txt")
    assert result.returncode == 0, result.stdout + result.stderr
