"""Many analyses in one process: each the same as a separate program run,
the library reset between them, no memory kept."""
import multiprocessing
import os

import numpy as np
import pytest

import fss
from conftest import run_program


def small_structure(k):
    """Structure k of a family of 200 different small ones: shape, size,
    lattice, thickness, incidence and limits all vary."""
    shapes = [lambda s: fss.rectangle(2.5 + s, 1.5 + 0.5 * s),
              lambda s: fss.circle(3 + s),
              lambda s: fss.cross(4 + s, 1.2),
              lambda s: fss.ellipse(4 + s, 2.5, sides=12, angle=30),
              lambda s: fss.rounded_rectangle(3 + s, 3, 0.6),
              lambda s: fss.polygon([(0, 0), (3 + s, 0), (0, 3 + s)], center=(-1, -1))]
    size = 0.25 * (k // len(shapes) % 12)
    lattice = fss.Lattice(7 + k % 3) if k % 4 else fss.Lattice.triangular(8)
    theta = (0.0, 20.0, 10.0) if k % 5 == 1 else 10.0 * (k % 3)
    aperture = shapes[k % len(shapes)](size)
    stack = [fss.Screen([aperture])]
    if k % 10 == 3:  # a layer in front, the holes filled
        stack = [fss.Layer(1.0, 2.2, 0.001), fss.Screen([aperture], eps=1.5)]
    elif k % 10 == 7:  # two screens, the second with two holes, 2 mm apart
        stack += [fss.Layer(2.0, 1.0, 0.0),
                  fss.Screen([fss.rectangle(2.5, 1.0, center=(-1.6, 0), angle=90),
                              fss.rectangle(2.5, 1.0, center=(1.6, 0), angle=90)])]
    return fss.Structure(lattice, thickness=0.2 + 0.1 * (k % 5), stack=stack, theta=theta,
                         phi=15.0 * (k % 2), frequency=(12, 16, 2),
                         wg_limit=60 + 5 * (k % 4), floquet_limit=100,
                         title=(f"structure {k}", ""))


def resident_kb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])


def test_200_analyses_against_program_runs(tmp_path):
    from concurrent.futures import ThreadPoolExecutor
    structures = [small_structure(k) for k in range(200)]
    paths = [s.write(tmp_path / f"s{k}") for k, s in enumerate(structures)]
    with ThreadPoolExecutor(2) as runs:
        for status, console in runs.map(run_program, paths):
            assert status == 0, console
    rss, modes = [], set()
    for k, s in enumerate(structures):
        with open(tmp_path / f"s{k}.out") as f:
            expected = f.read()
        res = fss.analyse(s)
        assert res.out_text == expected, k
        modes.add(len(res.modes))
        if k in (49, 199):
            rss.append(resident_kb())
    assert len(modes) >= 5  # different catalogues, not one structure 200 times
    # after the first 50, another 150 analyses keep no memory (a leak of the
    # records or the mode solver's matrices would grow by megabytes)
    assert rss[1] - rss[0] < 4000, rss


def analysed(k):
    r = fss.analyse(small_structure(k))
    return r.t, r.r


@pytest.mark.parametrize("method", ["fork", "spawn"])
def test_pool_of_four(method):
    """Four worker processes over eight structures give what one process
    gives, in order."""
    serial = [analysed(k) for k in range(8)]
    ctx = multiprocessing.get_context(method)
    with ctx.Pool(4) as pool:
        parallel = pool.map(analysed, range(8))
    for (t1, r1), (t2, r2) in zip(serial, parallel):
        assert np.array_equal(t1, t2) and np.array_equal(r1, r2)


def test_threads_wait_their_turn():
    """Analyses from several threads run one after the other, each right."""
    import threading
    expected = [analysed(k) for k in range(3)]
    got = [None] * 3

    def work(k):
        got[k] = analysed(k)
    threads = [threading.Thread(target=work, args=(k,)) for k in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for (t1, r1), (t2, r2) in zip(expected, got):
        assert np.array_equal(t1, t2) and np.array_equal(r1, r2)


def test_no_analysis_inside_an_analysis():
    def hook(done, total):
        fss.analyse(small_structure(0))
    with pytest.raises(RuntimeError, match="during an analysis"):
        fss.analyse(small_structure(1), progress=hook)
    assert os.getpid() > 0 and fss.analyse(small_structure(0)).t.shape[0] == 1
