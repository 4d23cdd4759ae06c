"""The analysis in the process, and its result as arrays and networks."""
import math
import os
import tempfile
import threading

import numpy as np

from . import _core
from .structure import Structure, _raise_error

__all__ = ["analyse", "Result"]


class _Guard:
    """One analysis at a time in a process (the library's records are single
    instances): other threads wait; a call from inside an analysis (a
    progress hook) is refused."""

    def __init__(self):
        self._lock = threading.Lock()
        self._owner = None

    def __enter__(self):
        if self._owner == threading.get_ident():
            raise RuntimeError("fss.analyse called during an analysis of this thread")
        self._lock.acquire()
        self._owner = threading.get_ident()

    def __exit__(self, *exc):
        self._owner = None
        self._lock.release()

    def _after_fork(self):
        self.__init__()


_one_at_a_time = _Guard()
if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_one_at_a_time._after_fork)

ETA0 = 3.1415926535898 * 120  # the program's eta0 = 120 pi (its tabulated pi)


def analyse(structure, progress=None, wgs=False, fine=False):
    """Runs the whole analysis in this process and returns a Result.

    structure: a Structure, or the name of a structure file.  progress:
    called as progress(done, total) after every sweep point (Ctrl-C stops
    the analysis with KeyboardInterrupt).  wgs: the waveguide-simulator
    incidence (phi = 0, theta = asin(c / (2 a f))).  fine: the aperture
    modes as accurate at the block 7 limit as below it (the option -fine).

    One analysis runs at a time in a process: a call from another thread
    waits for the one in progress (use processes, e.g. multiprocessing, for
    parallel analyses).  The files of the run go to a private temporary
    folder, removed at the end.  A fatal error raises fss.Error with the
    program's message and line.
    """
    options = ["-csv"] + (["-wgs"] if wgs else []) + (["-fine"] if fine else [])
    with _one_at_a_time, tempfile.TemporaryDirectory(prefix="fss-") as folder:
        if isinstance(structure, Structure):
            path = structure.write(os.path.join(folder, "structure.fss"))
            source = structure
        else:
            path = os.path.abspath(os.fspath(structure))
            source = None
        d = _core.run_analysis(path, options, folder, progress)
        if "error" in d:
            _raise_error(d["error"])
        base = os.path.join(folder, os.path.basename(d["base"]))
        texts = {}
        for ext in ("out", "csv"):
            with open(f"{base}.{ext}") as f:
                texts[ext] = f.read()
    return Result(d, texts, source, wgs)


def _directions(theta, phi, wgs):
    """Consecutive points of one (theta, phi): the directions of the sweep."""
    if wgs or len(theta) == 0:
        return 1
    change = (np.diff(theta) != 0) | (np.diff(phi) != 0)
    return int(np.count_nonzero(change)) + 1


class Result:
    """The results of an analysis, indexed [direction, frequency, ...].

    frequency: (nf,) GHz; theta, phi: (nd, nf) degrees; directions: (nd, 2)
    theta and phi of each direction (degrees).  Waves: index 0 TE (E normal
    to the plane of incidence), 1 TM (E in it), power-normalised.
    r, t: (nd, nf, 2, 2) complex, [..., q, p] wave q from incident wave p;
    R at the illuminated face (or stack surface), T at the far one referred
    back over the depth (times exp(+j kz depth); kz and depth (m) are
    arrays (nd, nf) too), as in the result file.  r_co, r_cross, t_co,
    t_cross: (nd, nf, 2) by incident wave.  s: (nd, nf, 4, 4) the 4-port
    matrix of the specular waves (ports 1 TE, 2 TM illuminated side, 3 TE,
    4 TM far side; faces as reference planes).  p_specular, p_total:
    (nd, nf, 2) power of each incident wave into the specular waves and into
    every propagating order.  order_count: (nd, nf); order_index: (nd, nf,
    K, 2) the harmonics (m, n); order_power: (nd, nf, K, 2, 2) power of
    incident wave p reflected [.., p, 0] and transmitted [.., p, 1] into
    order k (zeros past order_count).  modes: the aperture-mode table
    (kind, kc 1/m, fc GHz, z ohm for TEM modes, screen, aperture).
    out_text, csv_text: the result file and the CSV table the run wrote;
    console: what the run printed.
    """

    def __init__(self, d, texts, structure, wgs):
        p = d["points"]
        self.structure = structure
        self.console = d["console"]
        self.out_text, self.csv_text = texts["out"], texts["csv"]
        deg = 180 / math.pi
        n = len(p["f"])
        nd = _directions(p["theta"], p["phi"], wgs)
        nf = n // nd
        shape = (nd, nf)
        self.frequency = np.asarray(p["f"][:nf]) / 1e9
        self.theta = np.asarray(p["theta"]).reshape(shape) * deg
        self.phi = np.asarray(p["phi"]).reshape(shape) * deg
        self.directions = np.stack([self.theta[:, 0], self.phi[:, 0]], axis=1)
        self.r = np.asarray(p["r"]).reshape(shape + (2, 2))
        self.kz = np.asarray(p["kz"]).reshape(shape)
        self.depth = np.asarray(p["depth"]).reshape(shape)
        # T referred back to the illuminated side over the depth, as the
        # result file and the CSV table give it
        back = np.exp(1j * self.kz * self.depth)[..., None, None]
        self.t = np.asarray(p["t"]).reshape(shape + (2, 2)) * back
        self.s = np.asarray(p["s"]).reshape(shape + (4, 4))
        self.p_specular = np.asarray(p["p_specular"]).reshape(shape + (2,))
        self.p_total = np.asarray(p["p_total"]).reshape(shape + (2,))
        K = max([len(o) for o in p["orders"]] + [1])
        self.order_count = np.zeros(n, dtype=int)
        self.order_index = np.zeros((n, K, 2), dtype=int)
        self.order_power = np.zeros((n, K, 2, 2))
        for k, orders in enumerate(p["orders"]):
            self.order_count[k] = len(orders)
            for j, (m, nn, r1, r2, t1, t2) in enumerate(orders):
                self.order_index[k, j] = (m, nn)
                self.order_power[k, j] = ((r1, t1), (r2, t2))
        self.order_count = self.order_count.reshape(shape)
        self.order_index = self.order_index.reshape(shape + (K, 2))
        self.order_power = self.order_power.reshape(shape + (K, 2, 2))
        self.modes = np.array([tuple(m) for m in d["modes"]],
                              dtype=[("kind", "U3"), ("kc", "f8"), ("fc", "f8"), ("z", "f8"),
                                     ("screen", "i4"), ("aperture", "i4")])

    @property
    def r_co(self):
        return np.stack([self.r[..., 0, 0], self.r[..., 1, 1]], axis=-1)

    @property
    def r_cross(self):
        return np.stack([self.r[..., 1, 0], self.r[..., 0, 1]], axis=-1)

    @property
    def t_co(self):
        return np.stack([self.t[..., 0, 0], self.t[..., 1, 1]], axis=-1)

    @property
    def t_cross(self):
        return np.stack([self.t[..., 1, 0], self.t[..., 0, 1]], axis=-1)

    def port_impedances(self, direction=0):
        """(nf, 4) the wave impedance of each port: Z_TE = eta0 / cos(theta),
        Z_TM = eta0 cos(theta) on both sides."""
        c = np.cos(np.radians(self.theta[direction]))
        z = np.stack([ETA0 / c, ETA0 * c, ETA0 / c, ETA0 * c], axis=-1)
        return z.astype(complex)

    def network(self, direction=0):
        """The 4-port skrf.Network of a direction, each port referred to its
        own wave impedance (power waves)."""
        import skrf
        th, ph = self.directions[direction]
        freq = skrf.Frequency.from_f(self.frequency, unit="ghz")
        return skrf.Network(frequency=freq, s=self.s[direction],
                            z0=self.port_impedances(direction),
                            name=f"theta{th:g}_phi{ph:g}")

    def to_csv(self, path=None):
        """The CSV table of the run (the program's -csv table); written to
        path when given."""
        if path is not None:
            with open(path, "w") as f:
                f.write(self.csv_text)
        return self.csv_text

    def plot(self, ax=None):
        """|T| and |R| in dB against frequency, one panel per direction."""
        from .plotting import plot_result
        return plot_result(self, ax)
