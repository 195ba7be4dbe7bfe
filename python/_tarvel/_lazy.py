"""Shared by the integrations: the library each one needs, imported only when the integration is."""

import importlib
from types import ModuleType


def require(name: str, integration: str) -> ModuleType:
    """Imports `name`, or raises ImportError saying which integration needs it."""
    try:
        return importlib.import_module(name)
    except ImportError as error:
        raise ImportError(f"tarvel.{integration} needs {name}, which is not installed: "
                          f"pip install {name.split('.')[0]}") from error
