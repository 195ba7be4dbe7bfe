"""The documentation people read: the docstrings of the type stubs and the site's one-line summary
(docs/reference/summary.md) describe every method of every class the stubs define, and their examples run."""

import ast
import doctest
import pathlib
import re

import pytest

import tarvel

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUBS = ast.parse((ROOT / "python" / "tarvel-stubs" / "__init__.pyi").read_text(encoding="utf-8"))
SUMMARY = (ROOT / "docs" / "reference" / "summary.md").read_text(encoding="utf-8")
CLASSES = [node for node in STUBS.body if isinstance(node, ast.ClassDef)]


def methods(cls):
    return [node for node in cls.body if isinstance(node, ast.FunctionDef)]


def reference_section(name):
    sections = dict(re.findall(r"^## (\w+)\n(.*?)(?=^## |\Z)", SUMMARY, flags=re.S | re.M))
    assert name in sections, f"the reference summary has no section for {name}"
    return sections[name]


def test_stubs_define_the_module_classes():
    assert [cls.name for cls in CLASSES] == [name for name in tarvel.__all__ if isinstance(getattr(tarvel, name), type)]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda cls: cls.name)
def test_every_stub_method_has_a_docstring_with_an_example(cls):
    assert ast.get_docstring(cls), cls.name
    # An overloaded method has several definitions: one of them carries the docstring.
    documented = {}
    for f in methods(cls):
        doc = ast.get_docstring(f)
        documented[f.name] = documented.get(f.name, False) or bool(doc and ">>> " in doc)
    assert [name for name, has_example in documented.items() if not has_example] == []


@pytest.mark.parametrize("cls", CLASSES, ids=lambda cls: cls.name)
def test_reference_summary_lists_every_public_method_once(cls):
    public = {f.name for f in methods(cls) if not f.name.startswith("_")}
    properties = {f.name for f in methods(cls) if any(getattr(d, "id", None) == "property" for d in f.decorator_list)}
    lines = reference_section(cls.name).strip().splitlines()
    listed = [re.match(r"^- `(?:\w+\.)?(\w+)(\(.*?\))?`: \S.*$", line) for line in lines]
    assert all(listed), [line for line, match in zip(lines, listed) if not match]
    names = [match.group(1) for match in listed]
    assert len(names) == len(set(names))
    assert set(names) == public
    # A property reads as an attribute, a method as a call.
    assert {match.group(1) for match in listed if not match.group(2)} == properties & public


def docstring_examples():
    for cls in CLASSES:
        for node in [cls, *methods(cls)]:
            doc = ast.get_docstring(node)
            if doc and ">>> " in doc:
                yield pytest.param(doc, id=f"{cls.name}.{getattr(node, 'name', '')}")


@pytest.mark.parametrize("doc", list(docstring_examples()))
def test_stub_examples_run(doc):
    globs = {name: getattr(tarvel, name) for name in tarvel.__all__}
    test = doctest.DocTestParser().get_doctest(doc, globs, "stub docstring", None, 0)
    assert doctest.DocTestRunner().run(test).failed == 0
