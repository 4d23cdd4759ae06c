"""Pictures with matplotlib: the cell of a structure, the results."""
import numpy as np


def _axes(ax):
    if ax is None:
        import matplotlib.pyplot as plt
        _, ax = plt.subplots()
    return ax


def plot_structure(structure, ax=None, cells=1):
    """The unit cell (dashed), the lattice vectors and the apertures of every
    screen: the first screen's holes filled, later screens' outlined dashed;
    the holes of the neighbouring cells in grey."""
    ax = _axes(ax)
    (ax1, ay1), (bx, by) = structure.lattice.vectors()
    corner = np.array([[0, 0], [ax1, ay1], [ax1 + bx, ay1 + by], [bx, by], [0, 0]])
    shift = -0.5 * (np.array([ax1, ay1]) + np.array([bx, by]))
    ax.plot(*(corner + shift).T, "k--", lw=0.8)
    ax.annotate("", xy=(ax1 + shift[0], shift[1]), xytext=tuple(shift),
                arrowprops=dict(arrowstyle="->", color="red"))
    ax.annotate("", xy=(bx + shift[0], by + shift[1]), xytext=tuple(shift),
                arrowprops=dict(arrowstyle="->", color="red"))
    colours = ["tab:blue", "tab:green", "tab:orange", "tab:purple"]
    for k, screen in enumerate(structure.screens):
        for ap in screen.apertures:
            for i in range(-cells, cells + 1):
                for j in range(-cells, cells + 1):
                    dx, dy = i * ax1 + j * bx, j * by
                    centre = i == 0 and j == 0
                    for o in ap.outlines:
                        pts = np.array(o.points() + o.points()[:1])
                        style = "-" if k == 0 else "--"
                        ax.plot(pts[:, 0] + dx, pts[:, 1] + dy, style,
                                color=colours[k % 4] if centre else "0.6", lw=1.2 if centre else 0.6)
                    if k == 0:
                        pts = np.array(ap.outer.points())
                        ax.fill(pts[:, 0] + dx, pts[:, 1] + dy, color=colours[0],
                                alpha=0.25 if centre else 0.08)
    ax.set_aspect("equal")
    ax.set_xlabel("x [mm]")
    ax.set_ylabel("y [mm]")
    return ax


def plot_result(result, ax=None):
    """|T| (solid) and |R| (dashed) in dB of both incident waves against
    frequency, one panel per direction (or the given axes for all)."""
    nd = len(result.directions)
    if ax is None:
        import matplotlib.pyplot as plt
        _, axes = plt.subplots(nd, 1, squeeze=False, figsize=(7, 3 * nd))
        axes = axes[:, 0]
    else:
        axes = [ax] * nd
    db = lambda z: 20 * np.log10(np.maximum(np.abs(z), 1e-5))  # noqa: E731
    for d, a in enumerate(axes):
        th, ph = result.directions[d]
        for p, (name, colour) in enumerate((("TE", "tab:blue"), ("TM", "tab:red"))):
            a.plot(result.frequency, db(result.t_co[d, :, p]), "-", color=colour, label=f"T {name}")
            a.plot(result.frequency, db(result.r_co[d, :, p]), "--", color=colour,
                   label=f"R {name}")
        a.set_title(f"theta = {th:g} deg, phi = {ph:g} deg")
        a.set_xlabel("frequency [GHz]")
        a.set_ylabel("dB")
        a.legend(fontsize="small")
    return axes
