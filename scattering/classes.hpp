// Uncoupled classes of a mode-matching system.
//
// The mirror symmetries of aperture and lattice split the aperture modes
// into classes that no Floquet mode couples (at normal incidence a doubly
// symmetric aperture's modes of four parities, one mirror plane at oblique
// incidence in a plane of symmetry): the system is block-diagonal once its
// unknowns are ordered by class.  The classes are read off the matrix
// itself, as the connected sets of its coupling entries, so that no
// symmetry need be declared and a broken one merely leaves one class.
// Each class is factorised alone (the sum of the cubes of their orders,
// a sixteenth of the whole system's work for four equal classes), and only
// the classes that a right-hand side reaches: the incident wave's
// polarisation reaches one class of four.
#pragma once
#include <complex>
#include <vector>

// From this many aperture modes on a system is split into its classes: one
// more than a plain run's table holds (250), whose systems are factorised
// whole, bit for bit as before.
extern int class_split_modes;

struct system_classes {
  std::vector<int> order;   // the unknowns (from 0) in class order
  std::vector<int> start;   // class c holds order[start[c] .. start[c + 1] - 1]
  std::vector<char> factored, symmetric;  // per class: factors held, and which
  int count() const { return static_cast<int>(start.size()) - 1; }
};

// The modulus up to which an entry of a system of order n does not couple:
// n epsilon times the geometric mean of the largest moduli of its row and
// of its column, the componentwise backward error that the elimination
// itself commits there (row and column scales differ by orders of
// magnitude between the aperture modes).  Entries that a symmetry makes
// zero are left at rounding level of their row and column by the sums
// that form them.
double class_coupling_floor(int n, double row_largest, double column_largest);

// The classes of a (n x n, leading dimension ld, column-major): the
// connected sets of the entries above class_coupling_floor (one class
// when an entry is not finite).  With more than one class a is permuted in
// place to class order (block diagonal, the blocks on the diagonal, each
// of leading dimension ld).
void find_classes(int n, std::complex<double>* a, int ld, system_classes& cl);

// Solves a x = b for nrhs columns of b (leading dimension ldb, in the
// unknowns' own order) in place, class by class, after find_classes: a
// class that b does not reach keeps a zero solution (and is not
// factorised, so that its singularity is not seen); a class reached and
// not yet factorised is factorised first (L D L^T when `symmetric_ok` and
// its block is complex symmetric to 1e-12 of its largest entry, LU
// otherwise), its factors and pivots (ipiv, an entry per unknown) kept for the next
// right-hand sides.  Returns LAPACK's info of the first failure, or 0.
int solve_classes(int nrhs, std::complex<double>* a, int ld, int* ipiv,
                  std::complex<double>* b, int ldb, system_classes& cl, bool symmetric_ok);

// Whether a (n x n) is complex symmetric to 1e-12 of its largest entry.
bool complex_symmetric(int n, const std::complex<double>* a, int ld);
