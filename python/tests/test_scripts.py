"""The Python examples run as a user runs them, and say what they should."""
import os
import re
import subprocess
import sys

import pytest

import fss
from conftest import EXAMPLES

# the module as this test found it, for the scripts run from other folders
PYTHONPATH = os.path.dirname(os.path.dirname(os.path.abspath(fss.__file__)))

SCRIPTS = os.path.join(EXAMPLES, "python")


def run(name, *args):
    env = dict(os.environ, MPLBACKEND="Agg", PYTHONPATH=PYTHONPATH)
    p = subprocess.run([sys.executable, os.path.join(SCRIPTS, name), *args], env=env,
                       capture_output=True, text=True, timeout=120)
    assert p.returncode == 0, p.stderr
    return p.stdout


def test_hole_size_sweep(tmp_path):
    out = run("hole_size_sweep.py", str(tmp_path / "sweep.png"))
    cutoffs = [float(v) for v in re.findall(r"first cutoff (\S+) GHz", out)]
    # TE10 of a square hole of side s: c / (2 s)
    assert cutoffs == pytest.approx([299.8 / (2 * s) for s in (4, 5, 6, 7)], abs=0.006)  # printed to 0.01 GHz
    assert (tmp_path / "sweep.png").stat().st_size > 1000


def test_dichroic_optimisation():
    out = run("dichroic_optimise.py")
    d, t = map(float, re.search(r"hole diameter (\S+) mm: \|T\| = (\S+) dB", out).groups())
    assert 5.5 < d < 7.5 and abs(t + 3.0) < 0.005


def test_comparison_with_fdtd(tmp_path):
    out = run("compare_validation.py", str(tmp_path / "v.png"))
    # the slots' documented agreement: within 0.32 dB and 1.5 degrees
    dmag, dph = map(float, re.search(r"E along y: .*?: (\S+) dB, (\S+) deg", out).groups())
    assert dmag < 0.32 and dph < 1.5


def test_readme_example(tmp_path):
    """The complete example of the README runs and writes what it says."""
    with open(os.path.join(EXAMPLES, "..", "README.md")) as f:
        text = f.read()
    code = text.split("## From Python")[1].split("```python\n")[1].split("```")[0]
    script = tmp_path / "example.py"
    script.write_text(code)
    env = dict(os.environ, MPLBACKEND="Agg", PYTHONPATH=PYTHONPATH)
    p = subprocess.run([sys.executable, str(script)], cwd=tmp_path, env=env,
                       capture_output=True, text=True, timeout=120)
    assert p.returncode == 0, p.stderr
    for name in ("cross.fss", "cross.csv", "cross_30deg.s4p"):
        assert (tmp_path / name).stat().st_size > 0
    assert "19.5" in p.stdout  # full transmission of the cross at 30 degrees
