"""Dask dataframes with tarvel columns: dask builds a non-empty sample of every column's dtype from a
table of makers, which needs one for ``tarvel[...]``. dask.dataframe is slow to import, so the maker is
registered when it is imported (at once when it already is), never by importing it here."""

from __future__ import annotations

import importlib.abc
import importlib.util
import sys
from typing import Any, Callable

_MODULE = "dask.dataframe.backends"


def register(dtype_class: type, sample: Callable[[Any], Any]) -> None:
    """Registers `sample(dtype)` (an array of two values) as dask's maker for `dtype_class`."""

    def install() -> None:
        from dask.dataframe.extensions import make_array_nonempty

        make_array_nonempty.register(dtype_class)(sample)

    if _MODULE in sys.modules:
        install()
    else:
        sys.meta_path.insert(0, _AfterImport(_MODULE, install))


class _AfterImport(importlib.abc.MetaPathFinder):
    """Runs `then` once, right after the module `name` is first executed."""

    def __init__(self, name: str, then: Callable[[], None]) -> None:
        self._name, self._then = name, then

    def find_spec(self, fullname: str, path: Any, target: Any = None) -> Any:
        if fullname != self._name:
            return None
        sys.meta_path.remove(self)
        spec = importlib.util.find_spec(fullname)
        if spec is None or spec.loader is None:
            return spec
        spec.loader = _Loader(spec.loader, self._then)
        return spec


class _Loader(importlib.abc.Loader):
    def __init__(self, loader: Any, then: Callable[[], None]) -> None:
        self._loader, self._then = loader, then

    def create_module(self, spec: Any) -> Any:
        return self._loader.create_module(spec)

    def exec_module(self, module: Any) -> None:
        self._loader.exec_module(module)
        self._then()
