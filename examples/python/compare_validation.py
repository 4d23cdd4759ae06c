"""The 8 x 2 mm slots against an independent FDTD computation
(tests/data/rect_slot_fdtd.csv): the largest differences where |T| is
above -20 dB, and a picture.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/compare_validation.py [picture.png]
"""
import os
import sys

import matplotlib
import numpy as np

import fss

if len(sys.argv) > 1:
    matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data")
fdtd = np.genfromtxt(os.path.join(data, "rect_slot_fdtd.csv"), delimiter=",", names=True,
                     dtype=None, encoding="ascii")
res = fss.analyse(os.path.join(data, "rect_slot.fss"))

fig, ax = plt.subplots(figsize=(7, 4))
# at phi = 0 the TM wave (index 1) has E along x, the TE wave (index 0) E along y
for pol, wave in (("x", 1), ("y", 0)):
    ref = fdtd[fdtd["E_inc_along"] == pol]
    t = np.interp(ref["freq_GHz"], res.frequency, np.abs(res.t_co[0, :, wave]))
    ph = np.degrees(np.angle(np.interp(ref["freq_GHz"], res.frequency, res.t_co[0, :, wave])))
    tdb = 20 * np.log10(t)
    seen = tdb > -20
    if seen.any():
        dmag = np.max(np.abs(tdb - ref["T_dB"])[seen])
        dph = np.max(np.abs((ph - ref["T_deg"] + 180) % 360 - 180)[seen])
        print(f"E along {pol}: largest difference where |T| > -20 dB: {dmag:.3f} dB, "
              f"{dph:.2f} deg ({np.count_nonzero(seen)} frequencies)")
    else:
        print(f"E along {pol}: |T| below -20 dB at every frequency (highest {tdb.max():.1f} dB, "
              f"FDTD {ref['T_dB'].max():.1f} dB)")
    ax.plot(res.frequency, 20 * np.log10(np.abs(res.t_co[0, :, wave])), label=f"fss, E along {pol}")
    ax.plot(ref["freq_GHz"], ref["T_dB"], "o", ms=3, label=f"FDTD, E along {pol}")
ax.set_xlabel("frequency [GHz]")
ax.set_ylabel("|T| [dB]")
ax.legend()
if len(sys.argv) > 1:
    fig.savefig(sys.argv[1], dpi=100)
else:
    plt.show()
