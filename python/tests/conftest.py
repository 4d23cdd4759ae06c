"""Shared helpers: the program run as a user runs it, beside the module."""
import os
import re
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("FSS_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
BINARY = os.environ.get("FSS_BINARY", os.path.join(SOURCE, "build", "fss"))
EXAMPLES = os.path.join(SOURCE, "examples")


def run_program(structure, *options, folder=None):
    """Runs the program on a structure file; returns (exit status, console)."""
    args = [BINARY, structure, *options]
    if folder:
        args += ["-o", folder]
    p = subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return p.returncode, p.stdout + p.stderr


def fatal_report(console):
    """The routine, message and context line of a fatal report on the console."""
    lines = console.splitlines()
    for k, line in enumerate(lines):
        m = re.match(r" Subroutine (.*) fatal error message:$", line)
        if m:
            message = lines[k + 1][1:]
            # the context: the lines up to the blank one (several elements at fault)
            j = k + 2
            while j < len(lines) and lines[j]:
                j += 1
            context = "\n".join(lines[k + 2:j])[1:]
            return m.group(1), message, context
    return None


def out_rows(text):
    """The numeric rows of a result file."""
    rows = []
    for line in text.splitlines():
        f = line.split()
        if len(f) == 9:
            try:
                rows.append([float(v) for v in f])
            except ValueError:
                pass
    return rows


@pytest.fixture
def private_tmp(tmp_path, monkeypatch):
    """The module's temporary folders made under a folder of the test."""
    import tempfile
    t = tmp_path / "tmp"
    t.mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(t))
    return t


def copy_example(name, folder):
    dst = os.path.join(folder, name + ".fss")
    shutil.copy(os.path.join(EXAMPLES, name + ".fss"), dst)
    return dst
