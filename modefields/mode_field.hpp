// Fields of a computed aperture mode at any point of the cross-section.
//
// A mode is held as coefficients: the amplitudes of the enclosing-guide modes
// (amo) and the coefficients of the boundary basis functions (fbo), column k
// of mata, with its eigenvalue in vet1.  gmfield turns them into the source
// density of every contour element (table) and the scaled enclosing-guide
// coefficients (vet2); cat and ctt then sum the element fields and the
// enclosing-guide series at a point (contour coordinates).
//
// Mode class imt: 0 TEM, 1 TE, 2 TM; gmfield also takes -1 (TE) and -2 (TM)
// to prepare the transverse vector.
#pragma once

void gmfield(int k, int imt);
// Axial field (TE: Hz, TM: Ez) or potential (TEM); gmfield(k, imt) first.
double cat(double x, double y, int imt);
// Transverse vector; gmfield(k, -imt) first for TE and TM, gmfield(k, 0) for
// TEM; lam is the mode's eigenvalue.
void ctt(double x, double y, int imt, double lam, double& cx, double& cy);
// The parts of cat and ctt from the boundary sources alone, to which they
// add the enclosing-guide series (in that order, so that a caller holding
// the series terms of its points in a table gets the same sums).
double cat_sources(double x, double y, int imt);
void ctt_sources(double x, double y, int imt, double lam, double& sx, double& sy);
