"""The site's own Sphinx extension.

- Every interactive example (```pycon blocks and >>> blocks in docstrings) runs while the page is read,
  in one namespace per page, and a result that differs from the page is a warning (an error under -W).
- The reference is generated from the type stubs, so the stubs stay the one source of signatures and
  docstrings.
- The gallery scripts run at build time and write their pictures into the build tree.
"""

from __future__ import annotations

import ast
import doctest
import os
import pathlib
import subprocess
import sys

from docutils import nodes
from docutils.parsers.rst import Directive, directives
from docutils.statemachine import StringList
from sphinx.util import logging
from sphinx.util.nodes import nested_parse_with_titles

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUBS = ROOT / "python" / "tarvel-stubs"
GALLERY_SCRIPTS = ROOT / "examples" / "gallery"
LOG = logging.getLogger(__name__)


# ---------------------------------------------------------------------------------------------------
# Executed examples


def _fresh_namespace(docname: str) -> dict:
    namespace: dict = {"__name__": "__docs__"}
    exec("import tarvel\nfrom tarvel import Tarvel, LogTarvel, TarvelArray", namespace)
    if docname.startswith("reference/"):
        # A docstring's examples use the names of the module it documents, as in that module's help.
        for module in stub_modules()[1:]:
            try:
                imported = __import__(module, fromlist=["_"])
            except ImportError:
                continue
            for _, name, _, _ in stub_entries(module):
                if "." not in name and hasattr(imported, name):
                    namespace.setdefault(name, getattr(imported, name))
    return namespace


def _example_text(node: nodes.Element) -> str | None:
    if isinstance(node, nodes.doctest_block):
        return node.astext()
    if isinstance(node, nodes.literal_block) and node.get("language") in ("pycon", "doctest"):
        return node.astext()
    return None


def run_examples(app, doctree: nodes.document) -> None:
    """Runs a page's examples in order; each failure is reported at its line."""
    docname = app.env.docname
    namespace = _fresh_namespace(docname)
    parser = doctest.DocTestParser()
    flags = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE
    # Examples run with the documentation folder as the working directory, so that a page can read the
    # small data files kept beside it.
    here = os.getcwd()
    os.chdir(app.srcdir)
    try:
        for node in doctree.findall(lambda n: _example_text(n) is not None):
            source = _example_text(node)
            test = parser.get_doctest(source, namespace, docname, docname, node.line or 0)
            failures: list[str] = []
            runner = doctest.DocTestRunner(optionflags=flags)
            runner.run(test, out=failures.append, clear_globs=False)
            namespace.update(test.globs)
            if runner.failures:
                LOG.warning("example failed:\n%s", "".join(failures), location=node)
    finally:
        os.chdir(here)


# ---------------------------------------------------------------------------------------------------
# Reference from the stubs

def _signature(function: ast.FunctionDef, bound: bool) -> str:
    arguments = ast.unparse(function.args)
    if bound and function.args.args and "staticmethod" not in _decorators(function):
        # self or cls is not part of the call as a reader writes it
        args = ast.arguments(posonlyargs=function.args.posonlyargs[1:] if function.args.posonlyargs else [],
                             args=function.args.args[0 if function.args.posonlyargs else 1:],
                             vararg=function.args.vararg, kwonlyargs=function.args.kwonlyargs,
                             kw_defaults=function.args.kw_defaults, kwarg=function.args.kwarg,
                             defaults=function.args.defaults)
        arguments = ast.unparse(args)
    returns = f" -> {ast.unparse(function.returns)}" if function.returns else ""
    return f"{function.name}({arguments}){returns}"


def _is_public(name: str) -> bool:
    return not name.startswith("_") or (name.startswith("__") and name.endswith("__"))


def _decorators(function: ast.FunctionDef) -> set[str]:
    return {ast.unparse(d) for d in function.decorator_list}


def stub_entries(module: str) -> list[tuple[str, str, str, str]]:
    """(kind, qualified name, signature, docstring) for the public names of one stub module, in file
    order; overloads give one entry, with the signature of the last overload."""
    path = STUBS / ("__init__.pyi" if module == "tarvel" else f"{module.split('.', 1)[1]}.pyi")
    tree = ast.parse(path.read_text(encoding="utf-8"))
    entries: dict[str, tuple[str, str, str, str]] = {}

    def visit_function(function: ast.FunctionDef, owner: str | None) -> None:
        if not _is_public(function.name):
            return
        decorators = _decorators(function)
        kind = "function" if owner is None else "method"
        if "property" in decorators:
            kind = "property"
        elif "classmethod" in decorators:
            kind = "classmethod"
        elif "staticmethod" in decorators:
            kind = "staticmethod"
        name = function.name if owner is None else f"{owner}.{function.name}"
        previous = entries.get(name)
        doc = ast.get_docstring(function) or (previous[3] if previous else "")
        entries[name] = (kind, name, _signature(function, owner is not None), doc)

    for statement in tree.body:
        if isinstance(statement, ast.ClassDef) and _is_public(statement.name):
            bases = ", ".join(ast.unparse(b) for b in statement.bases)
            entries[statement.name] = ("class", statement.name, bases, ast.get_docstring(statement) or "")
            for member in statement.body:
                if isinstance(member, ast.FunctionDef):
                    visit_function(member, statement.name)
        elif isinstance(statement, ast.FunctionDef):
            visit_function(statement, None)
    return list(entries.values())


def stub_modules() -> list[str]:
    return ["tarvel"] + [f"tarvel.{p.stem}" for p in sorted(STUBS.glob("*.pyi")) if p.stem != "__init__"]


def _reference_rst(module: str) -> list[str]:
    lines = [f".. py:module:: {module}", ""]
    for kind, name, signature, doc in stub_entries(module):
        short = name.rsplit(".", 1)[-1]
        if kind == "class":
            header = f".. py:class:: {short}" + (f"({signature})" if signature else "")
        elif kind == "property":
            returns = signature.rsplit(" -> ", 1)[-1] if " -> " in signature else ""
            header = f"   .. py:property:: {short}" + (f"\n      :type: {returns}" if returns else "")
        else:
            prefix = "" if kind == "function" else "   "
            directive = "py:function" if kind == "function" else "py:method"
            header = f"{prefix}.. {directive}:: {signature.replace(chr(10), ' ')}"
            if kind in ("classmethod", "staticmethod"):
                header += f"\n{prefix}   :{kind}:"
        indent = "   " if kind == "class" or kind == "function" else "      "
        lines.append(header)
        lines.append("")
        for line in (doc or "(no description)").splitlines():
            lines.append(indent + line if line else "")
        lines.append("")
    return lines


class StubReference(Directive):
    """``.. stub-reference:: tarvel.pandas``: the module's public names, as the stubs declare them."""

    required_arguments = 1
    has_content = False
    option_spec = {"noindex": directives.flag}

    def run(self):
        # "integrations" stands for every stub module but the extension's own, one section each, so a
        # new integration appears here without an edit.
        modules = stub_modules()[1:] if self.arguments[0] == "integrations" else [self.arguments[0]]
        lines: list[str] = []
        for module in modules:
            if len(modules) > 1:
                lines += [f"``{module}``", "-" * (len(module) + 4), ""]
            lines += _reference_rst(module)
        container = nodes.section()
        container.document = self.state.document
        rst = StringList(lines, source="<stubs>")
        nested_parse_with_titles(self.state, rst, container)
        return container.children


# ---------------------------------------------------------------------------------------------------
# Gallery

def build_gallery(app) -> None:
    """Runs each gallery script with the folder its picture goes to; a failing script stops the build."""
    target = pathlib.Path(app.srcdir) / "_generated" / "gallery"
    target.mkdir(parents=True, exist_ok=True)
    environment = dict(os.environ, MPLBACKEND="Agg")
    for script in sorted(GALLERY_SCRIPTS.glob("*.py")):
        result = subprocess.run([sys.executable, str(script), str(target)], env=environment,
                                capture_output=True, text=True, cwd=ROOT)
        if result.returncode != 0:
            raise RuntimeError(f"gallery script {script.name} failed:\n{result.stderr}")
        LOG.info("gallery: %s", result.stdout.strip())


def setup(app):
    app.connect("builder-inited", build_gallery)
    app.connect("doctree-read", run_examples)
    app.add_directive("stub-reference", StubReference)
    return {"parallel_read_safe": False, "version": "1"}
