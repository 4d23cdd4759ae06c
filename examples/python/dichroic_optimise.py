"""A dichroic plate: circular holes in a triangular lattice of 8 mm, 3 mm
thick, passing above a band edge.  Finds the hole diameter that puts |T| at
-3 dB at 27 GHz (scipy's brentq on the diameter).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/dichroic_optimise.py
"""
import numpy as np
from scipy.optimize import brentq

import fss

TARGET_GHZ, EDGE_DB = 27.0, -3.0


def plate(diameter, frequency):
    return fss.Structure(fss.Lattice.triangular(8.0), thickness=3.0,
                         apertures=[fss.circle(diameter)], frequency=frequency,
                         wg_limit=100, floquet_limit=300, title=("dichroic plate", ""))


def t_db(diameter):
    res = fss.analyse(plate(diameter, TARGET_GHZ))
    return 20 * np.log10(abs(res.t_co[0, 0, 0]))


def edge(diameter):
    return t_db(diameter) - EDGE_DB


d = brentq(edge, 5.5, 7.5, xtol=1e-4)
print(f"hole diameter {d:.4f} mm: |T| = {t_db(d):.3f} dB at {TARGET_GHZ} GHz")
res = fss.analyse(plate(d, (20, 34, 1)))
for f, t in zip(res.frequency, np.abs(res.t_co[0, :, 0])):
    print(f"  {f:5.1f} GHz  {20 * np.log10(t):8.3f} dB")
