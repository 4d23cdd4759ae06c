"""The structure in code: lattice, screens with their apertures, layers,
incidence, frequency sweep and the two limits; written as the structure
file the program reads, and read through the program's own reader."""
import math
import os
import re
import tempfile

from . import _core
from .shapes import Aperture, Arc, Outline, Side

__all__ = ["Lattice", "Layer", "Screen", "Structure", "Error"]


class Error(Exception):
    """A fatal error of the analysis: the routine that found it, its
    message and the line of the structure file it concerns (context)."""

    def __init__(self, routine, message, context=""):
        self.routine, self.message, self.context = routine, message, context
        text = f"{routine}: {message}"
        if context:
            text += "\n" + context
        super().__init__(text)


def _raise_error(info):
    routine, message, context = info
    raise Error(routine, message, context)


class Lattice:
    """Periods a along x and b (the height of the second lattice vector,
    not its length) in mm, skew angle in degrees (90: rectangular).  The
    lattice vectors are (a, 0) and (b cot(skew), b)."""

    def __init__(self, a, b=None, skew=90.0):
        self.a, self.b, self.skew = float(a), float(a if b is None else b), float(skew)

    @classmethod
    def triangular(cls, spacing):
        """Holes at the corners of equilateral triangles of the given side."""
        return cls(spacing, spacing * math.sqrt(3) / 2, 60.0)

    def vectors(self):
        return (self.a, 0.0), (self.b / math.tan(math.radians(self.skew)), self.b)

    def __repr__(self):
        return f"Lattice({self.a!r}, {self.b!r}, skew={self.skew!r})"


class Layer:
    """A dielectric layer: thickness (mm), eps_r', tan_delta."""

    def __init__(self, thickness, eps=1.0, tand=0.0):
        self.thickness, self.eps, self.tand = float(thickness), float(eps), float(tand)


class Screen:
    """A metal screen with its apertures; eps and tand fill its holes,
    thickness (mm) replaces the structure's thickness for this screen."""

    def __init__(self, apertures, eps=None, tand=None, thickness=None):
        self.apertures = [apertures] if isinstance(apertures, Aperture) else list(apertures)
        self.eps, self.tand, self.thickness = eps, tand, thickness

    def plain(self):
        return self.eps is None and self.tand is None and self.thickness is None


def _num(x):
    """A value as the shortest text that reads back to it."""
    x = float(x)
    if x == int(x) and abs(x) < 1e15:
        return str(int(x))
    return repr(x)


def _element_line(e):
    for digits in (15, 12, 10, 9, 8):
        line = " ".join("%.*g" % (digits, v) for v in e.values())
        if len(line) <= 80:
            return line
    raise ValueError("an element too long for a boundary line")


def _range(v):
    if isinstance(v, (int, float)):
        return (float(v), float(v), 1.0)
    v = tuple(float(x) for x in v)
    if len(v) == 1:
        return (v[0], v[0], 1.0)
    if len(v) != 3:
        raise ValueError("a sweep is one value or (start, end, step)")
    return v


class Structure:
    """A frequency selective surface and its sweep.

    lattice: Lattice; thickness: metal thickness (mm); apertures: the
    apertures of a single screen in air, or stack: Layer and Screen items
    from the illuminated side (at most 8 screens, a layer between two);
    theta, phi: incidence in degrees, a value or (start, end, step);
    frequency: (start, end, step) GHz, or one value; wg_limit, floquet_limit:
    the largest frequencies (GHz) of the aperture modes and of the Floquet
    modes; title: the two free lines of the file.
    """

    def __init__(self, lattice, thickness, apertures=None, stack=None, theta=0.0, phi=0.0,
                 frequency=(10.0, 20.0, 1.0), wg_limit=100.0, floquet_limit=300.0,
                 title=("structure built in Python", "")):
        if (apertures is None) == (stack is None):
            raise ValueError("give either the apertures of one screen or a stack")
        self.lattice = lattice
        self.thickness = float(thickness)
        self.stack = list(stack) if stack is not None else [Screen(apertures)]
        self.theta, self.phi = _range(theta), _range(phi)
        self.frequency = _range(frequency)
        self.wg_limit, self.floquet_limit = float(wg_limit), float(floquet_limit)
        self.title = tuple(title) + ("",) * (2 - len(tuple(title)))

    @property
    def screens(self):
        return [s for s in self.stack if isinstance(s, Screen)]

    def _needs_stack_block(self):
        return len(self.stack) > 1 or not self.stack[0].plain()

    def to_text(self):
        """The structure file."""
        L = [self.title[0], self.title[1], "1) cell dimensions a b [mm]",
             f"{_num(self.lattice.a)} {_num(self.lattice.b)}", "2) skew angle [deg]",
             _num(self.lattice.skew), "3) metal thickness [mm]", _num(self.thickness),
             "4) aperture boundary [mm]"]
        for k, screen in enumerate(self.screens):
            if k:
                L.append(f"$ screen {k + 1}")
            for j, ap in enumerate(screen.apertures):
                if j:
                    L.append(f"# aperture {j + 1}")
                L.extend(_element_line(e) for e in ap.elements())
        L.append("5) incidence theta phi [deg]")
        th, ph = self.theta, self.phi
        if th[0] == th[1] and ph[0] == ph[1]:
            L.append(f"{_num(th[0])} {_num(ph[0])}")
        else:
            L.append(" ".join(_num(v) for v in th + ph))
        f = self.frequency
        L += ["6) frequency sweep start end step [GHz]", " ".join(_num(v) for v in f),
              "7) largest frequency of the aperture modes [GHz]", _num(self.wg_limit),
              "8) largest frequency of the Floquet modes [GHz]", _num(self.floquet_limit)]
        if self._needs_stack_block():
            L.append("9) stack from the illuminated side: thickness[mm] eps_r tan_delta, screens")
            for item in self.stack:
                if isinstance(item, Layer):
                    L.append(" ".join(_num(v) for v in (item.thickness, item.eps, item.tand)))
                else:
                    eps = 1.0 if item.eps is None else item.eps
                    tand = 0.0 if item.tand is None else item.tand
                    if item.thickness is not None:
                        L.append(f"screen {_num(item.thickness)} {_num(eps)} {_num(tand)}")
                    elif item.tand is not None:
                        L.append(f"screen {_num(eps)} {_num(tand)}")
                    elif item.eps is not None:
                        L.append(f"screen {_num(eps)}")
                    else:
                        L.append("screen")
        return "\n".join(L) + "\n"

    def write(self, path):
        """Writes the structure file (".fss" added when missing); returns its name."""
        path = os.fspath(path)
        if not path.endswith(".fss"):
            path += ".fss"
        with open(path, "w") as f:
            f.write(self.to_text())
        return path

    @classmethod
    def read(cls, path):
        """Reads a structure file with the program's reader: every error of
        the file raises Error with the program's message and line."""
        path = os.path.abspath(os.fspath(path))
        with tempfile.TemporaryDirectory(prefix="fss-") as folder:
            from .analysis import _one_at_a_time
            with _one_at_a_time:
                d = _core.read_structure(path, folder)
            if "error" in d:
                _raise_error(d["error"])
            with open(d["apertures_file"]) as f:
                block4 = f.read().splitlines()
        with open(path if path.endswith(".fss") else path + ".fss",
                  errors="replace") as f:
            title = [f.readline().rstrip("\r\n") for _ in range(2)]
        return cls._from_records(d, block4, title)

    @classmethod
    def _from_records(cls, d, block4, title):
        def short(x):  # the SI values back in the file's units, to 12 digits
            return float("%.12g" % x)
        deg = 180 / math.pi
        lattice = Lattice(short(d["a"] * 1e3), short(d["b"] * 1e3), short(d["alpha"] * deg))
        screens = _screens_of_block4(block4)
        c = _core.dcspeed()
        wg, flo = (short(k * c / (2 * math.pi) / 1e9) for k in d["kmax"])
        stack, k = [], 0
        for kind, t, eps, tand in d["stack"]:
            if kind == "layer":
                stack.append(Layer(short(t * 1e3), eps, tand))
            else:
                screen = Screen(screens[k])
                if d["stack_given"]:
                    screen.eps, screen.tand = eps, tand
                    if short(t * 1e3) != short(d["thickness"] * 1e3):
                        screen.thickness = short(t * 1e3)
                stack.append(screen)
                k += 1
        rng = lambda r, f: tuple(short(v * f) for v in r)  # noqa: E731
        return cls(lattice, short(d["thickness"] * 1e3), stack=stack,
                   theta=rng(d["theta"], deg), phi=rng(d["phi"], deg),
                   frequency=rng(d["frequency"], 1e-9), wg_limit=wg, floquet_limit=flo,
                   title=title)

    def plot(self, ax=None, cells=1):
        """Draws the cell, the lattice vectors and the apertures of every
        screen (matplotlib; the neighbouring cells' holes in grey)."""
        from .plotting import plot_structure
        return plot_structure(self, ax, cells)


_number = re.compile(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eEdD][-+]?\d+)?")


def _screens_of_block4(lines):
    """The screens and apertures of the aperture block as the reader
    copied it (already checked by it): each element's four or six values."""
    screens, apertures, elements = [], [], []

    def close_aperture():
        if elements:
            apertures.append(_aperture_of(list(elements)))
            elements.clear()
    for line in lines:
        if "$" in line:
            close_aperture()
            screens.append(apertures)
            apertures = []
        elif "#" in line:
            close_aperture()
        else:
            fields = re.split(r"[\s,]+", line.strip())
            values = []
            for w in fields:
                if not _number.fullmatch(w):
                    break
                values.append(float(w.replace("d", "e").replace("D", "e")))
            if len(values) >= 6:
                elements.append(Arc(*values[:6]))
            elif len(values) >= 4:
                elements.append(Side(*values[:4]))
    close_aperture()
    screens.append(apertures)
    return screens


def _aperture_of(elements):
    """The elements grouped into closed outlines in their order, the first
    the outer line (the program finds the outer line itself: the one that
    encloses the others)."""
    outlines, current = [], []
    for e in elements:
        current.append(e)
        s, t = current[0].start, e.end
        if math.hypot(s[0] - t[0], s[1] - t[1]) < 1e-9 * (1 + abs(s[0]) + abs(s[1])):
            outlines.append(Outline(current))
            current = []
    if current:
        outlines.append(Outline(current))
    outlines.sort(key=lambda o: -o.area())
    return Aperture(outlines[0], outlines[1:])
