"""Vocabularies: the user's own units, read from text without any global state.

A ``Vocabulary`` is immutable. Build one from custom units and from definition lines, then read text with
its ``unit`` and ``parse`` (or pass it as ``vocabulary=`` to ``Tarvel.parse``, ``Tarvel.parse_unit``,
``TarvelArray`` and ``tarvel.pandas.read_csv``). Two vocabularies never affect each other, and the
catalogue's own names always keep their meaning: a vocabulary cannot redefine them.

A definition line is ``name = definition [= symbol [= another symbol ...]]``, where the definition is a
quantity as ``Tarvel.parse`` reads it (and may use the names defined above it); ``# ...`` is a comment.
A line ending in ``; prefixed`` lets prefixes stand before the unit: prefix names before its name
("kilodozen"), prefix symbols before its symbols ("kEUR").

>>> v = Vocabulary(definitions="dozen = 12 = dz\\neuro = 1.1 USD = EUR ; prefixed")
>>> v.parse("3 dz").as_unitless(), v.unit("kEUR").as_number("USD")
(36.0, 1100.0)
"""

from __future__ import annotations

import os
from collections.abc import Iterable
from typing import Any

from tarvel import Tarvel, TarvelArray

__all__ = ["Vocabulary"]

_PREFIXED = "; prefixed"


def _catalogue_reads(text: str) -> bool:
    try:
        Tarvel.parse_unit(text)
    except LookupError:
        return False
    return True


class Vocabulary:
    """An immutable set of named units for reading text; see the module's documentation."""

    __slots__ = ("_entries",)
    _entries: tuple[tuple[str, Tarvel, bool, bool], ...]

    def __init__(self, units: Iterable[Tarvel] = (), definitions: str | Iterable[str] = "", *,
                 prefixed: bool = False) -> None:
        entries: list[tuple[str, Tarvel, bool, bool]] = []
        for unit in units:
            name, symbol = unit.unit_descriptive().strip("[]"), unit.unit_text().strip("[]")
            _add(entries, name, [symbol] if symbol != name else [], unit, prefixed)
        lines = definitions.splitlines() if isinstance(definitions, str) else definitions
        for number, line in enumerate(lines, 1):
            _define(entries, line, number)
        object.__setattr__(self, "_entries", tuple(entries))

    @classmethod
    def from_file(cls, path: str | os.PathLike[str], units: Iterable[Tarvel] = ()) -> Vocabulary:
        """A vocabulary from a UTF-8 file of definition lines."""
        with open(path, encoding="utf-8") as file:
            return cls(units, file.read())

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError("a Vocabulary cannot be changed; build a new one")

    def __reduce__(self) -> tuple[Any, ...]:
        return (_from_entries, (self._entries,))

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Vocabulary):
            return NotImplemented
        return [e[0] for e in self._entries] == [e[0] for e in other._entries] and all(
            a[1] == b[1] and a[1].unit_text() == b[1].unit_text() and a[2:] == b[2:]
            for a, b in zip(self._entries, other._entries))

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return f"Vocabulary({', '.join(e[0] for e in self._entries)})"

    @property
    def names(self) -> tuple[str, ...]:
        """Every name and symbol the vocabulary adds, in definition order."""
        return tuple(e[0] for e in self._entries)

    def unit(self, text: str) -> Tarvel:
        """One of the units that ``text`` names, in any notation ``Tarvel.parse_unit`` reads."""
        return Tarvel.parse_unit(text, vocabulary=self)

    def parse(self, text: str) -> Tarvel:
        """A quantity from text, as ``Tarvel.parse`` reads it, with this vocabulary's names."""
        return Tarvel.parse(text, vocabulary=self)

    def array(self, values: Any, unit: str) -> TarvelArray:
        """``TarvelArray(values, unit)`` with this vocabulary's names."""
        return TarvelArray(values, unit, vocabulary=self)


def _from_entries(entries: tuple[tuple[str, Tarvel, bool, bool], ...]) -> Vocabulary:
    vocabulary = Vocabulary.__new__(Vocabulary)
    object.__setattr__(vocabulary, "_entries", tuple(entries))
    return vocabulary


class _Partial:
    """The entries defined so far, for reading the next definition."""

    __slots__ = ("_entries",)

    def __init__(self, entries: list[tuple[str, Tarvel, bool, bool]]) -> None:
        self._entries = tuple(entries)


def _add(entries: list[tuple[str, Tarvel, bool, bool]], name: str, symbols: list[str], unit: Tarvel,
         prefixed: bool) -> None:
    for text, is_symbol in [(name, False)] + [(s, True) for s in symbols]:
        if not text or text != text.strip():
            raise ValueError(f"the unit name {text!r} is empty or has spaces around it")
        if any(e[0] == text for e in entries):
            raise ValueError(f"{text!r} is defined twice in this vocabulary")
        if _catalogue_reads(text):
            raise ValueError(f"{text!r} already names a unit ({Tarvel.parse_unit(text)}): a vocabulary "
                             "adds names, it never changes one")
        entries.append((text, unit, prefixed, is_symbol))


def _define(entries: list[tuple[str, Tarvel, bool, bool]], line: str, number: int) -> None:
    text = line.split("#", 1)[0].strip()
    if not text:
        return
    prefixed = text.endswith(_PREFIXED)
    if prefixed:
        text = text[: -len(_PREFIXED)].rstrip()
    parts = [p.strip() for p in text.split("=")]
    if len(parts) < 2 or not parts[0] or not parts[1]:
        raise ValueError(f"line {number}: {line.strip()!r} is not 'name = definition [= symbol ...]'")
    name, definition, symbols = parts[0], parts[1], parts[2:]
    value = Tarvel.parse(definition, vocabulary=_Partial(entries))
    unit = Tarvel.custom(name, symbols[0] if symbols else name, value)
    _add(entries, name, [s for s in symbols if s != name], unit, prefixed)
