"""Square holes of four sizes in a 10 mm lattice: |T| against frequency.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/hole_size_sweep.py [picture.png]
"""
import sys

import matplotlib
import numpy as np

import fss

if len(sys.argv) > 1:
    matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

fig, ax = plt.subplots(figsize=(7, 4))
for side in (4.0, 5.0, 6.0, 7.0):
    s = fss.Structure(fss.Lattice(10.0), thickness=1.0, apertures=[fss.rectangle(side, side)],
                      frequency=(5, 40, 0.5), wg_limit=100, floquet_limit=300,
                      title=(f"square holes {side} mm", ""))
    res = fss.analyse(s)
    t = np.abs(res.t_co[0, :, 0])  # the TE wave (E along y); the TM wave is the same here
    peak = res.frequency[np.argmax(t)]
    print(f"side {side:.1f} mm: first cutoff {res.modes['fc'][0]:.2f} GHz, "
          f"largest |T| at {peak:.1f} GHz")
    ax.plot(res.frequency, 20 * np.log10(t), label=f"{side:g} mm")
ax.set_xlabel("frequency [GHz]")
ax.set_ylabel("|T| [dB]")
ax.set_ylim(-60, 2)
ax.legend(title="hole side")
ax.set_title("square holes in a 10 mm lattice, 1 mm thick")
if len(sys.argv) > 1:
    fig.savefig(sys.argv[1], dpi=100)
else:
    plt.show()
