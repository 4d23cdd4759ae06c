// Quadrature weights of the basis functions and the tables of the regular
// kernel parts between the quadrature points of the contour.
#pragma once
#include "records/modesolver_kernels.hpp"

// Fills cofw for every basis function and each of its elements: value
// weights (ind 0: integral of the function times the quadratic through the
// three points, times the element length) or derivative weights (ind 1: the
// same for the derivative along the contour; the length cancels).
void gcof(int ind);
// Weight k (1..3) of function ifb on its element slot i (1 predecessor,
// 2 central, 3 successor).
double cof(int k, int ifb, int i);
// Regular part, at point j of element je, of the source formed by function
// ifb on its element ie (slot i): the sum over the images, with their signs,
// of the weighted table entries.
double pcont(int je, int j, int ie, int ifb, int i, const matw_rec& table);

// Build the table in matw on the first use for the aperture (and keep it in
// its cache file), or read it back from the cache afterwards.
void green(int imt);    // scalar kernel            (cache "_gmat.tmp")
void greenv(int imt);   // electric-type kernel     (cache "_gstmat.tmp")
void greenha(int imt);  // magnetic type, imt 1 TE ("_gha.tmp"), 2 TM ("_ght.tmp")
