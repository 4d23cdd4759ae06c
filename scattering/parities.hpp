// Mirror parities of the modes of a symmetric aperture.
//
// The modes of an aperture with a mirror plane are even or odd under it.
// The computed ones are not quite: a degenerate set (the pairs of a cross,
// of a square ring) comes out of the eigensolver in whatever basis it
// picks, a mixture of parities, and the modes near the limit carry some of
// the other parity that no other computed mode accounts for (the cross
// slots at a 477 GHz limit: pairs mixed up to half and half, a single mode
// 2.6 % of its samples).
// A mixed mode couples the classes that the mirrors of aperture and
// lattice otherwise keep apart, so that a symmetric structure's system
// does not split (scattering/classes).  So each cluster of close cutoffs
// that holds a mixed mode is turned, within itself, to the common
// eigenvectors of the mirrors' action on its contour samples (any
// orthonormal basis of a degenerate set is as good a set of modes), and
// what is left of the other parity, an error of the computed mode, is
// dropped from its samples.
#pragma once
#include <vector>

// Relative distance of neighbouring cutoffs (of one kind) within a cluster.
extern double degenerate_cutoff_spread;
// The largest part of the other parity (relative, see mode_asymmetry) that
// is dropped from a mode; a mode with more is left as it is.
extern double pure_parity_bound;

// The box of aperture ap's points: lo, hi per axis (x, y).
void point_box(int ap, double lo[2], double hi[2]);

// The point of the aperture ap's range mirrored about the centre of its
// points' box (x -> -x when along_x, else y -> -y), from 0, for every
// point: empty when a point or its normal has no mirror image.
std::vector<int> aperture_mirror(int ap, bool along_x);

// Parity of catalogue mode j under that mirror: the overlap of its contour
// samples with their mirror images over their own, +1 for an even and -1
// for an odd mode.
double mode_parity(int j, const std::vector<int>& mirror);

// The part of mode j's samples of the parity other than its own under the
// mirror, relative to the whole: |s - p M s| / (2 |s|), p its parity's sign.
double mode_asymmetry(int j, const std::vector<int>& mirror);

// For the mirrors that aperture ap has: every run of TE or of TM modes
// (neighbouring cutoffs within degenerate_cutoff_spread) that holds a mode
// mixed beyond 1e-9 is turned to modes of pure parity, the modes of each
// parity being the Ritz vectors of the run's cutoffs (the cutoffs so
// changed by the square of the mixture: none for a degenerate set); a run
// whose span is plainly not closed under the mirrors (a turned mode more
// than 0.1 from even or odd under a mirror) is left as it was.  Then the
// parts of the other parity left in a run are dropped from all of its
// modes, their samples made exactly even or odd, when none exceeds
// pure_parity_bound, and from none otherwise.  TEM modes (which hold their
// impedance in place of a cutoff) are not turned, each a run of its own.
// Returns the number of runs turned.
int pure_mirror_parities(int ap);

// pure_mirror_parities for every aperture of the catalogue that is not a
// translated copy; each copy then takes its original's modes again.  An
// outline solved whole whose modes all come out of it of pure parity under
// both mirrors (their other part at most 1e-12) is marked so with its
// centre (fss_ap pure_parity, centre): its couplings then take the real
// forms of a quarter's modes (scattering/real_couplings).
void pure_mirror_parities_of_catalogue();

// The mirror class of every aperture mode (cls[j - 1], 0 .. 3: the parities
// of its transverse field under x -> -x and y -> -y) when every aperture
// has both mirrors about one common centre and every mode is of pure
// parity under both (its other part at most 1e-12); false otherwise.  At
// normal incidence on a lattice whose Floquet set is closed under the same
// mirrors, modes of different classes couple with no sum over that set.
// The field of a TE mode, z x grad(psi), has the parities opposite to its
// potential's; a TM or TEM mode's, grad(phi), those of its potential.
bool mode_mirror_classes(std::vector<int>& cls);
