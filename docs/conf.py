"""Sphinx configuration of the qz5 documentation (make docs).

The package is imported from the build (PYTHONPATH=<build>/python); the
figures are made from the bundled scenario when the documentation is built,
so they always show what this version computes.
"""
import os
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import qz5  # noqa: E402

project = "qz5"
author = "the qz5 developers"
release = version = qz5.__version__
extensions = ["sphinx.ext.autodoc", "sphinx.ext.mathjax", "sphinx.ext.viewcode",
              "numpydoc", "myst_parser"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build", "_generated/*.md"]
myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3
numpydoc_show_class_members = False
numpydoc_xref_param_type = False
autodoc_member_order = "bysource"
autodoc_typehints = "none"  # numpydoc's parameter lists carry the types
html_theme = "alabaster"
html_static_path = []
html_title = f"qz5 {release}"
nitpicky = False
suppress_warnings = ["myst.header"]

if not os.environ.get("QZ5_DOCS_NO_FIGURES"):
    import make_figures

    make_figures.write(str(HERE / "_generated"))
