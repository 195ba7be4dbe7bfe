"""The mypy plugin: ``plugins = tarvel.mypy`` in mypy's configuration."""

from typing import Any

__all__ = ["plugin"]

def plugin(version: str) -> type[Any]: ...
