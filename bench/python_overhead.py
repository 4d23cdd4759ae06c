"""Time of a module call (fss.analyse) against a program run on the same
structure file: the median of repeated runs, wall clock.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [build/fss] [repeats]
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import fss

here = os.path.dirname(os.path.abspath(__file__))
binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "fss")
repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 15
examples = os.path.join(here, "..", "examples")


def median_time(f):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


small = fss.Structure(fss.Lattice(8), 0.5, apertures=[fss.rectangle(5, 2)],
                      frequency=(12, 16, 2), wg_limit=60, floquet_limit=100)
with tempfile.TemporaryDirectory() as folder:
    cases = [("small (3 points, 60 / 100 GHz)", small.write(os.path.join(folder, "small")))]
    cases += [(n, os.path.join(examples, n + ".fss"))
              for n in ("square_holes", "circular_holes", "ring_slots")]
    print(f"{'structure':34s} {'program run':>12s} {'its analysis':>12s} {'module call':>12s}")
    for name, path in cases:
        inner = []

        def run():
            out = subprocess.run([binary, path, "-csv", "-o", folder], capture_output=True,
                                 text=True, check=True).stdout
            inner.append(float(re.search(r"computed in (\S+) s", out).group(1)))
        prog = median_time(run)
        mod = median_time(lambda: fss.analyse(path))
        print(f"{name:34s} {prog * 1e3:9.1f} ms {statistics.median(inner) * 1e3:9.1f} ms "
              f"{mod * 1e3:9.1f} ms")
