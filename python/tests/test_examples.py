"""Every example analysed in the process against the program's own run."""
import math
import os

import numpy as np
import pytest

import fss
from conftest import EXAMPLES, copy_example, out_rows, run_program

NAMES = sorted(f[:-4] for f in os.listdir(EXAMPLES) if f.endswith(".fss"))


def db(z):
    return max(20 * math.log10(abs(z)), -99.999) if abs(z) > 0 else -99.999


def phase_close(a, b):
    return abs((a - b + 180) % 360 - 180) <= 0.0005 + 1e-9


@pytest.mark.parametrize("name", NAMES)
def test_example_against_program(name, tmp_path, private_tmp):
    """The arrays give the program's result file to its printed digits, the
    module's run writes that file byte for byte, the CSV table is the
    program's, and the powers per order add up to the totals."""
    path = copy_example(name, str(tmp_path))
    status, _ = run_program(path, "-csv")
    assert status == 0
    with open(path[:-4] + ".out") as f:
        program_out = f.read()
    with open(path[:-4] + ".csv") as f:
        program_csv = f.read()
    res = fss.analyse(path)
    assert res.out_text == program_out
    assert res.to_csv() == program_csv
    rows = out_rows(program_out)
    nd, nf = res.t.shape[:2]
    assert len(rows) == nd * nf
    for k, row in enumerate(rows):
        d, i = divmod(k, nf)
        assert abs(row[0] - res.frequency[i]) < 5e-4
        # columns Ty, Tx, Ry, Rx: "y" the TM wave, "x" the TE wave
        for c, z in enumerate((res.t[d, i, 1, 1], res.t[d, i, 0, 0],
                               res.r[d, i, 1, 1], res.r[d, i, 0, 0])):
            assert abs(db(z) - row[1 + 2 * c]) <= 0.0005 + 1e-9, (name, k, c)
            if db(z) > -99.999:
                assert phase_close(math.degrees(np.angle(z)), row[2 + 2 * c]), (name, k, c)
    # order by order, the powers make up the totals; order (0, 0) is the specular one
    total = res.order_power.sum(axis=(2, 4))
    assert np.allclose(total, res.p_total, rtol=0, atol=1e-12)
    k00 = [list(map(tuple, res.order_index[d, i])).index((0, 0))
           for d in range(nd) for i in range(nf)]
    specular = np.array([res.order_power[d, i, k].sum(axis=-1)
                     for (d, i), k in zip(np.ndindex(nd, nf), k00)]).reshape(nd, nf, 2)
    assert np.allclose(specular, res.p_specular, rtol=0, atol=1e-12)
    # the mode table is the program's
    status, console = run_program(path, "-modes", folder=str(tmp_path / "m"))
    with open(tmp_path / "m" / (name + ".modes")) as f:
        table = [line.split() for line in f if not line.startswith("#")]
    assert len(table) == len(res.modes)
    for row, mode in zip(table, res.modes):
        assert row[1] == mode["kind"]
        if mode["kind"] == "TEM":
            assert float(row[4]) == pytest.approx(mode["z"], rel=1e-9)
        else:
            assert float(row[2]) == pytest.approx(mode["kc"], rel=1e-9)
            assert float(row[3]) == pytest.approx(mode["fc"], rel=1e-9)
        assert (int(row[5]), int(row[6])) == (mode["screen"], mode["aperture"])
    # nothing left in the private folder
    assert list(private_tmp.iterdir()) == []


def test_written_structure_runs_to_the_same_result(tmp_path):
    """A structure read, written and analysed in the process gives byte for
    byte the program's result file of the written file; reading it back
    gives the same text."""
    for name in ("circular_holes", "two_screen_filter", "radome_stack", "dual_band"):
        s = fss.Structure.read(os.path.join(EXAMPLES, name + ".fss"))
        s.frequency = (s.frequency[0], s.frequency[0] + 4 * s.frequency[2], s.frequency[2])
        path = s.write(tmp_path / name)
        assert fss.Structure.read(path).to_text() == s.to_text()
        status, _ = run_program(path, folder=str(tmp_path / "p"))
        assert status == 0
        with open(tmp_path / "p" / (name + ".out")) as f:
            program_out = f.read()
        assert fss.analyse(s).out_text == program_out, name


def test_fine_modes_as_the_program_gives_them(tmp_path, private_tmp):
    """analyse(fine=True) is the program's "-fine" run: the same result file
    byte for byte, which differs from the plain run's (the cross's modes
    near the block 7 limit move)."""
    path = copy_example("cross_slots", str(tmp_path))
    status, _ = run_program(path, "-fine")
    assert status == 0
    with open(path[:-4] + ".out") as f:
        program_out = f.read()
    fine = fss.analyse(path, fine=True)
    assert fine.out_text == program_out
    assert fss.analyse(path).out_text != program_out
