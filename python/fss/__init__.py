"""Frequency selective surfaces by mode matching, from Python.

Build a structure in code (or read a structure file), analyse it in the
process and get the results as numpy arrays and scikit-rf networks:

    import fss
    s = fss.Structure(fss.Lattice(10.0), thickness=1.0,
                      apertures=[fss.rectangle(6, 6)], frequency=(5, 30, 0.5))
    res = fss.analyse(s)
    res.t_co[0, :, 0]          # co-polarised T of the TE wave, first direction
    res.network(0)             # 4-port skrf.Network

One analysis runs at a time in a process (a lock enforces it); run
analyses in parallel with processes (multiprocessing).
"""
from .analysis import Result, analyse
from .shapes import (Aperture, Arc, Outline, Side, annulus, circle, cross, ellipse,
                     jerusalem_cross, outline, polygon, rectangle, ring, rounded_rectangle)
from .structure import Error, Layer, Lattice, Screen, Structure

__all__ = ["analyse", "Result", "Structure", "Lattice", "Layer", "Screen", "Error", "Aperture",
           "Outline", "Side", "Arc", "rectangle", "circle", "ellipse", "polygon", "cross",
           "jerusalem_cross", "ring", "annulus", "rounded_rectangle", "outline"]
