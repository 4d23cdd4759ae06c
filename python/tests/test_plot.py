"""The pictures: the cell and the results drawn with matplotlib."""
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import fss  # noqa: E402
from conftest import EXAMPLES  # noqa: E402


def test_structure_and_result_plots(tmp_path):
    s = fss.Structure.read(os.path.join(EXAMPLES, "dual_band.fss"))
    ax = s.plot(cells=1)
    # 9 cells x (ring: 2 outlines, cross: 1) plus the cell outline
    assert len(ax.lines) == 9 * 3 + 1
    plt.close("all")
    s.frequency = (9, 11, 1)
    res = fss.analyse(s)
    axes = res.plot()
    assert len(axes) == 1 and len(axes[0].lines) == 4
    assert list(axes[0].lines[0].get_xdata()) == [9, 10, 11]
    axes[0].figure.savefig(tmp_path / "r.png")
    assert (tmp_path / "r.png").stat().st_size > 1000
    plt.close("all")
