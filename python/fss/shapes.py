"""Apertures from shapes: outlines of straight sides and circular arcs (mm).

An outline is a closed chain of elements, each beginning where the one
before ends.  An aperture is an outer outline with the outlines of its
inner conductors.  Every shape can be moved and rotated; areas and
perimeters are exact for sides and arcs (Green's theorem on each element).
"""
import math

__all__ = ["Side", "Arc", "Outline", "Aperture", "rectangle", "circle", "ellipse",
           "polygon", "cross", "jerusalem_cross", "ring", "annulus", "rounded_rectangle",
           "outline"]


def _rotate(p, angle_deg, about):
    c, s = math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg))
    x, y = p[0] - about[0], p[1] - about[1]
    return (about[0] + c * x - s * y, about[1] + s * x + c * y)


class _Element:
    """An element of an outline, given by its points (start, end, ...)."""

    @property
    def start(self):
        return self.points[0]

    @property
    def end(self):
        return self.points[1]

    def _with(self, points):
        return type(self)(*(v for p in points for v in p))

    def moved(self, dx, dy):
        return self._with([(x + dx, y + dy) for x, y in self.points])

    def rotated(self, angle_deg, about=(0.0, 0.0)):
        return self._with([_rotate(p, angle_deg, about) for p in self.points])

    def values(self):
        return [v for p in self.points for v in p]


class Side(_Element):
    """A straight side from (x1, y1) to (x2, y2)."""

    def __init__(self, x1, y1, x2, y2):
        self.points = [(float(x1), float(y1)), (float(x2), float(y2))]

    def length(self):
        (x1, y1), (x2, y2) = self.points
        return math.hypot(x2 - x1, y2 - y1)

    def area_term(self):
        """Half of the integral of x dy - y dx along the side."""
        (x1, y1), (x2, y2) = self.points
        return 0.5 * (x1 * y2 - x2 * y1)

    def sample(self, n=2):
        return list(self.points)


class Arc(_Element):
    """A circular arc from (x1, y1) to (x2, y2) through (x3, y3); a full
    circle when start and end coincide, (x3, y3) then the opposite point."""

    def __init__(self, x1, y1, x2, y2, x3, y3):
        self.points = [(float(x1), float(y1)), (float(x2), float(y2)), (float(x3), float(y3))]

    def full(self):
        (x1, y1), (x2, y2), _ = self.points
        return math.hypot(x2 - x1, y2 - y1) <= 1e-12 * (1 + abs(x1) + abs(y1))

    def geometry(self):
        """Centre, radius, start angle and signed sweep (rad, + anticlockwise)."""
        (x1, y1), (x2, y2), (x3, y3) = self.points
        if self.full():
            cx, cy = 0.5 * (x1 + x3), 0.5 * (y1 + y3)
            return (cx, cy), 0.5 * math.hypot(x3 - x1, y3 - y1), \
                math.atan2(y1 - cy, x1 - cx), 2 * math.pi
        d = 2 * (x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2))
        if d == 0:
            raise ValueError("arc through three points on one line")
        s1, s2, s3 = x1 * x1 + y1 * y1, x2 * x2 + y2 * y2, x3 * x3 + y3 * y3
        cx = (s1 * (y2 - y3) + s2 * (y3 - y1) + s3 * (y1 - y2)) / d
        cy = (s1 * (x3 - x2) + s2 * (x1 - x3) + s3 * (x2 - x1)) / d
        a1, a2, a3 = (math.atan2(y - cy, x - cx) for x, y in self.points)
        tau = 2 * math.pi
        d12, d13 = (a2 - a1) % tau, (a3 - a1) % tau
        sweep = d12 if d13 < d12 else d12 - tau
        return (cx, cy), math.hypot(x1 - cx, y1 - cy), a1, sweep

    def length(self):
        _, r, _, sweep = self.geometry()
        return r * abs(sweep)

    def area_term(self):
        (cx, cy), r, a1, sweep = self.geometry()
        a2 = a1 + sweep
        return 0.5 * (r * r * sweep + r * (cx * (math.sin(a2) - math.sin(a1))
                                           - cy * (math.cos(a2) - math.cos(a1))))

    def sample(self, n=48):
        (cx, cy), r, a1, sweep = self.geometry()
        m = max(2, int(n * abs(sweep) / (2 * math.pi)) + 1)
        return [(cx + r * math.cos(a1 + sweep * k / (m - 1)),
                 cy + r * math.sin(a1 + sweep * k / (m - 1))) for k in range(m)]


class Outline:
    """A closed chain of sides and arcs."""

    def __init__(self, elements):
        self.elements = list(elements)
        if not self.elements:
            raise ValueError("an outline needs at least one element")

    def moved(self, dx, dy):
        return Outline(e.moved(dx, dy) for e in self.elements)

    def rotated(self, angle_deg, about=(0.0, 0.0)):
        return Outline(e.rotated(angle_deg, about) for e in self.elements)

    def signed_area(self):
        return sum(e.area_term() for e in self.elements)

    def area(self):
        return abs(self.signed_area())

    def perimeter(self):
        return sum(e.length() for e in self.elements)

    def points(self):
        """Points along the outline, for drawing."""
        pts = []
        for e in self.elements:
            pts.extend(e.sample())
        return pts


class Aperture:
    """A hole of the screen: its outer outline and the outlines of the
    conductors inside it (a ring slot: the outer line and the patch)."""

    def __init__(self, outer, inner=()):
        self.outer = outer if isinstance(outer, Outline) else Outline(outer)
        self.inner = [o if isinstance(o, Outline) else Outline(o) for o in inner]

    @property
    def outlines(self):
        return [self.outer] + self.inner

    def moved(self, dx, dy):
        return Aperture(self.outer.moved(dx, dy), [o.moved(dx, dy) for o in self.inner])

    def rotated(self, angle_deg, about=(0.0, 0.0)):
        return Aperture(self.outer.rotated(angle_deg, about),
                        [o.rotated(angle_deg, about) for o in self.inner])

    def placed(self, x=0.0, y=0.0, angle=0.0):
        """Rotated by angle (degrees) about the origin, then moved to (x, y)."""
        return self.rotated(angle).moved(x, y)

    def area(self):
        return self.outer.area() - sum(o.area() for o in self.inner)

    def perimeter(self):
        return sum(o.perimeter() for o in self.outlines)

    def elements(self):
        return [e for o in self.outlines for e in o.elements]


def _closed_polygon(points):
    n = len(points)
    if n < 3:
        raise ValueError("a polygon needs at least three corners")
    return Outline(Side(*points[k], *points[(k + 1) % n]) for k in range(n))


def _place(ap, center, angle):
    return ap.placed(center[0], center[1], angle)


def polygon(points, center=(0.0, 0.0), angle=0.0):
    """A polygon through the given corners (mm), closed from the last to the first."""
    return _place(Aperture(_closed_polygon([tuple(map(float, p)) for p in points])),
                  center, angle)


def rectangle(width, height, center=(0.0, 0.0), angle=0.0):
    """A width x height rectangle (mm), centred, rotated by angle (degrees)."""
    w, h = 0.5 * width, 0.5 * height
    return polygon([(-w, -h), (w, -h), (w, h), (-w, h)], center, angle)


def circle(diameter, center=(0.0, 0.0)):
    """A circular hole: one full circle, which is its own enclosing guide."""
    r = 0.5 * diameter
    return _place(Aperture(Outline([Arc(-r, 0, -r, 0, r, 0)])), center, 0.0)


def ellipse(width, height, sides=32, center=(0.0, 0.0), angle=0.0):
    """An ellipse of axes width and height as a polygon of the given number
    of sides, its corners on the ellipse."""
    pts = [(0.5 * width * math.cos(2 * math.pi * k / sides),
            0.5 * height * math.sin(2 * math.pi * k / sides)) for k in range(sides)]
    return polygon(pts, center, angle)


def cross(length, width, center=(0.0, 0.0), angle=0.0):
    """A cross of two arms length x width (mm) along x and y."""
    L, w = 0.5 * length, 0.5 * width
    pts = [(-L, -w), (-w, -w), (-w, -L), (w, -L), (w, -w), (L, -w),
           (L, w), (w, w), (w, L), (-w, L), (-w, w), (-L, w)]
    return polygon(pts, center, angle)


def jerusalem_cross(length, width, cap_length, cap_width, center=(0.0, 0.0), angle=0.0):
    """A cross of arms length x width whose four arms end in caps
    cap_length long (across the arm) and cap_width deep (mm); the caps'
    outer sides lie at +-length/2."""
    L, w, c, d = 0.5 * length, 0.5 * width, 0.5 * cap_length, cap_width
    if not (c > w and L - d > w):
        raise ValueError("the caps must be wider than the arms and leave the arms a length")
    arm = [(L - d, -w), (L - d, -c), (L, -c), (L, c), (L - d, c), (L - d, w)]
    pts = []
    for k in range(4):
        pts.append(_rotate((w, -w), 90 * k, (0, 0)))
        pts.extend(_rotate(p, 90 * k, (0, 0)) for p in arm)
    return polygon(pts, center, angle)


def rounded_rectangle(width, height, radius, center=(0.0, 0.0), angle=0.0):
    """A width x height rectangle whose corners are quarter circles of the given radius."""
    w, h, r = 0.5 * width, 0.5 * height, float(radius)
    if not (0 < r < min(w, h)):
        raise ValueError("the corner radius must lie between 0 and half the shorter side")
    s = r * (1 - math.sqrt(0.5))
    el = [Side(-w + r, -h, w - r, -h), Arc(w - r, -h, w, -h + r, w - s, -h + s),
          Side(w, -h + r, w, h - r), Arc(w, h - r, w - r, h, w - s, h - s),
          Side(w - r, h, -w + r, h), Arc(-w + r, h, -w, h - r, -w + s, h - s),
          Side(-w, h - r, -w, -h + r), Arc(-w, -h + r, -w + r, -h, -w + s, -h + s)]
    return _place(Aperture(Outline(el)), center, angle)


def ring(outer, inner):
    """A ring slot: the hole of `outer` around the conductor of `inner`
    (apertures or outlines, already placed)."""
    o = outer.outer if isinstance(outer, Aperture) else outer
    i = inner.outer if isinstance(inner, Aperture) else inner
    return Aperture(o, [i])


def annulus(outer_diameter, inner_diameter, center=(0.0, 0.0)):
    """A coaxial hole: a circle around a circular conductor."""
    return ring(circle(outer_diameter, center), circle(inner_diameter, center))


def outline(elements, inner=(), center=(0.0, 0.0), angle=0.0):
    """A general aperture from its elements: tuples of four values (a side
    x1 y1 x2 y2) or six (an arc x1 y1 x2 y2 x3 y3 through the third point),
    or Side and Arc objects; inner: lists of elements of inner conductors."""
    def element(e):
        if isinstance(e, (Side, Arc)):
            return e
        if len(e) == 4:
            return Side(*e)
        if len(e) == 6:
            return Arc(*e)
        raise ValueError("an element holds four values (a side) or six (an arc)")
    return _place(Aperture(Outline(map(element, elements)),
                           [Outline(map(element, i)) for i in inner]), center, angle)
