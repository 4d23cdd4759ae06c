"""The 4-port networks against the program's Touchstone files."""
import re

import numpy as np
import skrf

import fss
from conftest import copy_example, run_program


def test_network_against_touchstone(tmp_path):
    """Every direction of the circular holes (theta 0, 15, 30 degrees): the
    matrix is the -s4p file's to its 12 digits, each port carries its own
    wave impedance (the file's comment), and below the first grating lobe
    the matrix is unitary."""
    path = copy_example("circular_holes", str(tmp_path))
    assert run_program(path, "-s4p")[0] == 0
    res = fss.analyse(path)
    assert len(res.directions) == 3
    for d, (theta, phi) in enumerate(res.directions):
        name = tmp_path / f"circular_holes_theta{theta:g}_phi{phi:g}.s4p"
        ref = skrf.Network(str(name))
        net = res.network(d)
        assert net.s.shape == ref.s.shape == (len(res.frequency), 4, 4)
        assert np.allclose(net.f, ref.f, rtol=1e-12)
        assert np.max(np.abs(net.s - ref.s)) < 1e-10
        text = name.read_text()
        z_te, z_tm = map(float, re.search(r"here Z_TE = (\S+) ohm, Z_TM = (\S+) ohm", text).groups())
        assert np.allclose(net.z0[:, [0, 2]], z_te, rtol=0, atol=5e-7)
        assert np.allclose(net.z0[:, [1, 3]], z_tm, rtol=0, atol=5e-7)
        below = res.order_count[d] == 1
        assert below.any()
        for s in net.s[below]:
            assert np.max(np.abs(s.conj().T @ s - np.eye(4))) < 1e-10
