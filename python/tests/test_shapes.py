"""The shapes: areas and perimeters against closed forms, placement, and a
circle from the helper against the circular hole of the examples."""
import math
import os

import numpy as np
import pytest

import fss
from conftest import EXAMPLES

pi = math.pi
CASES = [
    (fss.rectangle(6, 2), 12, 16),
    (fss.circle(7), pi * 3.5 ** 2, 7 * pi),
    # a polygon on an ellipse: the affine image of a regular polygon
    (fss.ellipse(8, 3, sides=24), 12 * math.sin(2 * pi / 24) * 4 * 1.5,
     sum(math.hypot(4 * (math.cos(2 * pi * (k + 1) / 24) - math.cos(2 * pi * k / 24)),
                    1.5 * (math.sin(2 * pi * (k + 1) / 24) - math.sin(2 * pi * k / 24)))
         for k in range(24))),
    (fss.ellipse(5, 5, sides=7), 3.5 * math.sin(2 * pi / 7) * 2.5 ** 2, 14 * 2.5 * math.sin(pi / 7)),
    (fss.cross(8, 2), 2 * 8 * 2 - 4, 4 * 8),
    # arms 8 x 0.5, caps 6 x 0.5: the cross of length 7 and four caps
    (fss.jerusalem_cross(8, 0.5, 6, 0.5), 2 * 7 * 0.5 - 0.25 + 4 * 3, 4 * 8 + 8 * 6 - 8 * 0.5),
    (fss.rounded_rectangle(6, 4, 1), 24 - (4 - pi), 20 - 8 + 2 * pi),
    (fss.annulus(9, 3), pi * (4.5 ** 2 - 1.5 ** 2), 12 * pi),
    (fss.ring(fss.rectangle(8, 8), fss.rectangle(3, 3)), 64 - 9, 44),
    (fss.polygon([(0, 0), (6, 0), (0, 6)]), 18, 12 + 6 * math.sqrt(2)),
    # three quarters of a disc of radius 2: two radii and an arc through (-2, 0)
    (fss.outline([(0, 0, 2, 0), (2, 0, 0, -2, -2, 0), (0, -2, 0, 0)]), 3 * pi, 4 + 3 * pi),
    # the same arc given the other way round, through a point near its end
    (fss.outline([(0, 0, 0, -2), (0, -2, 2, 0, -math.sqrt(2), math.sqrt(2)), (2, 0, 0, 0)]),
     3 * pi, 4 + 3 * pi),
]


@pytest.mark.parametrize("k", range(len(CASES)))
def test_area_and_perimeter(k):
    ap, area, perimeter = CASES[k]
    assert ap.area() == pytest.approx(area, rel=1e-12)
    assert ap.perimeter() == pytest.approx(perimeter, rel=1e-12)
    moved = ap.placed(1.5, -2.0, 37.0)
    assert moved.area() == pytest.approx(area, rel=1e-12)
    assert moved.perimeter() == pytest.approx(perimeter, rel=1e-12)
    # every outline closes: each element begins where the one before ends
    for o in moved.outlines:
        for a, b in zip(o.elements, o.elements[1:] + o.elements[:1]):
            assert np.allclose(a.end, b.start, atol=1e-12)


def test_placement():
    r = fss.rectangle(4, 2, center=(1, 1), angle=90)
    xs = [p[0] for e in r.elements() for p in e.points]
    ys = [p[1] for e in r.elements() for p in e.points]
    assert min(xs) == pytest.approx(0) and max(xs) == pytest.approx(2)
    assert min(ys) == pytest.approx(-1) and max(ys) == pytest.approx(3)


def test_bad_shapes():
    with pytest.raises(ValueError):
        fss.polygon([(0, 0), (1, 1)])
    with pytest.raises(ValueError):
        fss.rounded_rectangle(4, 2, 1.5)
    with pytest.raises(ValueError):
        fss.outline([(0, 0, 1)])


def test_triangular_lattice():
    lat = fss.Lattice.triangular(10)
    a1, a2 = lat.vectors()
    assert math.hypot(*a2) == pytest.approx(10) and a2[0] == pytest.approx(5)


def test_circle_helper_against_the_circular_holes():
    """The example's 7 mm hole replaced by the helper's circle (another
    start point on the same circle): the same result to rounding."""
    example = os.path.join(EXAMPLES, "circular_holes.fss")
    s = fss.Structure.read(example)
    assert s.screens[0].apertures[0].area() == pytest.approx(pi * 3.5 ** 2, rel=1e-12)
    reference = fss.analyse(example)
    s.screens[0].apertures = [fss.circle(7)]
    res = fss.analyse(s)
    assert len(res.modes) == len(reference.modes)
    assert np.allclose(res.modes["kc"], reference.modes["kc"], rtol=1e-9)
    assert np.max(np.abs(res.t - reference.t)) < 1e-8
    assert np.max(np.abs(res.r - reference.r)) < 1e-8
