"""Every ```python block of README.md and docs/*.md runs as written, each in a fresh interpreter
(as every ```cpp block is built by the consumer test)."""

import os
import pathlib
import re
import subprocess
import sys

import pytest
import vorn
from conftest import SOURCE_DIR


def python_snippets():
    for doc in [SOURCE_DIR / "README.md", *sorted((SOURCE_DIR / "docs").glob("*.md"))]:
        blocks = re.findall(r"^```python\n(.*?)^```$", doc.read_text(), re.S | re.M)
        for index, code in enumerate(blocks, start=1):
            yield pytest.param(code, id=f"{doc.name}:{index}")


SNIPPETS = list(python_snippets())


def test_the_python_guide_has_snippets():
    assert any(param.id.startswith("python.md:") for param in SNIPPETS)


@pytest.mark.parametrize("code", SNIPPETS)
def test_doc_snippet_runs(code, tmp_path):
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(vorn.__file__).resolve().parents[1]))  # this build's vorn
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
