"""Sphinx configuration of tarvel's documentation site: `python -m sphinx -W -b html docs docs/_build/html`."""

import pathlib
import shutil
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "_ext"))

project = "tarvel"
author = "the tarvel developers"
copyright = "2026, the tarvel developers"

extensions = ["myst_parser", "sphinx.ext.mathjax", "tarvel_docs"]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
exclude_patterns = ["_build", "_generated/**/*.md", "Thumbs.db", ".DS_Store"]
myst_enable_extensions = ["dollarmath", "colon_fence"]
myst_heading_anchors = 3
default_role = "code"
nitpicky = False

html_theme = "alabaster"
html_title = "tarvel"
html_static_path = ["_generated/static"]
html_theme_options = {"description": "Exact, fast physical quantities", "fixed_sidebar": True}

# Formulas are typeset by KaTeX served from the site itself (never from a network): the build copies
# the system's KaTeX files into the site.
KATEX = pathlib.Path("/usr/share/javascript/katex")
_static = HERE / "_generated" / "static"
_static.mkdir(parents=True, exist_ok=True)
if KATEX.is_dir():
    shutil.copytree(KATEX, _static / "katex", dirs_exist_ok=True)
mathjax_path = "katex-render.js"
(_static / "katex-render.js").write_text(
    """// Typesets the \\(...\\) and \\[...\\] that Sphinx writes for formulas, with the bundled KaTeX.
(function () {
  function load(src, done) {
    var s = document.createElement("script"); s.src = src; s.onload = done; document.head.appendChild(s);
  }
  var base = document.currentScript.src.replace(/katex-render\\.js.*$/, "katex/");
  var css = document.createElement("link"); css.rel = "stylesheet"; css.href = base + "katex.min.css";
  document.head.appendChild(css);
  load(base + "katex.min.js", function () {
    load(base + "contrib/auto-render.js", function () {
      renderMathInElement(document.body, {delimiters: [
        {left: "\\\\[", right: "\\\\]", display: true}, {left: "\\\\(", right: "\\\\)", display: false}],
        throwOnError: true});
      document.body.setAttribute("data-math-rendered", "yes");
    });
  });
})();
""",
    encoding="utf-8",
)
