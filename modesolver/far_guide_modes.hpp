// The enclosing-guide modes far above the wanted cutoffs in a large mode
// computation.  The series of the enclosing guide runs to twice the limit so
// that the modes near the limit are accurate, but the modes of its upper part
// enter the wanted eigenvectors only through their couplings to the basis
// functions: amplitude u_h = (e_h . couplings) / (lambda - d_h), d_h = 1/kc_h^2
// well below every wanted lambda.  Such a vector lies, to a rational
// approximation error that falls geometrically with the block count, in the
// block Krylov space span{V, D V, D^2 V, ...} of the diagonal D on the
// coupling columns V.  The problem is solved in that subspace (Rayleigh-Ritz:
// the pencil stays symmetric-definite and the eigenvalues move only from
// above) and the vectors expanded back, so that everything after sees the
// modes of the whole series.
#pragma once
#include <vector>

// Guide modes with cutoff above far_guide_split times the wanted cutoff are
// replaced by far_guide_blocks blocks of the Krylov basis (0: not at all).
extern double far_guide_split;
extern int far_guide_blocks;

// Orthonormal basis (|d| x nq, column by column) of span{V, D V, ...,
// D^(blocks-1) V}, V = v (|d| x nv), D = diag(d); every block is made
// orthogonal to those before (twice) and its directions below 1e-8 of its
// largest column dropped.
std::vector<double> far_guide_basis(const std::vector<double>& d, const std::vector<double>& v,
                                    int nv, int blocks, int& nq);

// symmetric_eigen_above for A x = lambda B x, B = diag(I_k, B22), whose
// unknowns `far` (ascending, below k, from 0) are guide modes with the
// diagonal d in A that meet the other unknowns and each other otherwise only
// within the span of the columns of v (|far| x nv): the problem reduced to
// the near unknowns and the Krylov basis of the far ones, the vectors
// expanded back to the order n (a, n x m).  Without far unknowns, or when
// the basis would not be clearly smaller, the whole problem.
int symmetric_eigen_above_reduced(int n, double* a, double* b, double* w, double lambda_min,
                                  int& m, int k, const std::vector<int>& far,
                                  const std::vector<double>& d, const std::vector<double>& v,
                                  int nv);
