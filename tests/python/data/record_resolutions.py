"""Records what every catalogue text resolves to, so that catalogue additions can be checked to leave
every earlier resolution alone (test_catalogue_additions.py reads the record).

The texts are every name, symbol and alias, and every prefix name or symbol put before each of them.
Each text that resolves is stored with a short digest of its unit (plain and descriptive text, factor
to base units and dimensions), each text that does not with 0. Run against the build whose resolutions are to be kept:

    PYTHONPATH=build/dev python3 tests/python/data/record_resolutions.py
"""

import gzip
import hashlib
import json
import pathlib
import re

import tarvel

HERE = pathlib.Path(__file__).parent
TABLES = HERE.parents[2] / "src" / "unit" / "unit_defs" / "unit_defs.cpp"
RECORD = HERE / "resolutions.json.gz"


def catalogue_texts(source: str) -> tuple[list[str], list[str]]:
    """Names, symbols and aliases; prefix names and symbols."""
    rows = re.findall(r'^\s*\{"((?:[^"\\]|\\.)*)", "((?:[^"\\]|\\.)*)",', source, re.M)
    prefix_block = source[source.index("PREFIXES{{") : source.index("UNIT_ALIASES{{")]
    prefixes = re.findall(r'\{"([^"]*)", "([^"]*)", ', prefix_block)
    words = sorted({t for row in rows for t in row} - {p for pair in prefixes for p in pair})
    return words, sorted({p for pair in prefixes for p in pair})


def digest(text: str) -> str | None:
    try:
        q = tarvel.Tarvel.unit(text)
    except LookupError:
        return None
    key = (repr(q), q.descriptive(), repr(float(q.as_base_units())), sorted(q.dimensions().items()))
    return hashlib.sha1(repr(key).encode()).hexdigest()[:10]


def main() -> None:
    words, prefixes = catalogue_texts(TABLES.read_text(encoding="utf-8"))
    texts = set(words) | {p + w for p in prefixes for w in words} | set(prefixes)
    record = {t: digest(t) or 0 for t in sorted(texts)}
    RECORD.write_bytes(gzip.compress(json.dumps(record, ensure_ascii=False, separators=(",", ":")).encode(), mtime=0))
    print(f"{sum(1 for d in record.values() if d)} of {len(texts)} texts resolve; written to {RECORD.name}")


if __name__ == "__main__":
    main()
