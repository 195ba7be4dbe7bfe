"""Requirement lists that CI reads from pyproject.toml.

    requirements.py test      the test extra, one requirement a line
    requirements.py floors    each integration library pinned to its declared floor (name==version)
"""

import re
import sys
import tomllib
from pathlib import Path

extras = tomllib.loads((Path(__file__).parent.parent / "pyproject.toml").read_text())["project"][
    "optional-dependencies"
]
NOT_FLOORS = {"test", "test-core", "bench", "docs"}

if sys.argv[1:] == ["test"]:
    print("\n".join(extras["test"]))
elif sys.argv[1:] == ["floors"]:
    floors = {}
    for extra, requirements in extras.items():
        if extra in NOT_FLOORS:
            continue
        for requirement in requirements:
            match = re.fullmatch(r"([A-Za-z0-9_.-]+)(?:\[[^]]*\])?>=([^,;\s]+)", requirement)
            if not match:
                sys.exit(f"{extra}: {requirement!r} declares no floor (name>=version)")
            name, version = match.groups()
            if floors.setdefault(name, version) != version:
                sys.exit(f"{name}: two floors, {floors[name]} and {version}")
    print("\n".join(f"{name}=={version}" for name, version in sorted(floors.items())))
else:
    sys.exit(__doc__)
