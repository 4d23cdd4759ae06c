// Eigenproblems of the formulations and the purge of spurious modes.
#pragma once

// TE: generalised symmetric eigenproblem after the condensation of the chain
// unknowns that C cannot see.  status 0, or LAPACK's info.  With kwanted > 0
// a large problem gives only its modes up to about kwanted (2 % beyond it).
void prautote(int& status, double kwanted = 0);
// The eigenvalue 1/k^2 below which modes are not wanted (0: all of them).
double lowest_eigenvalue_wanted(double kwanted);
// From the m eigenvalues lambda[1..m] = 1/k^2 (ascending, as LAPACK gives them)
// and the eigenvectors (n entries) in the columns of mata: the cutoffs k in
// vet1 in ascending order, and the eigenvectors in that order scaled by k in
// matd (a non-positive eigenvalue is kept as it stands, its vector unscaled).
void ascending_modes(const double* lambda, int n, int m);
// The eigenpairs above lambda_min of a problem whose first namo unknowns are
// the enclosing-guide modes (diagonal 1/kc^2 in A, identity in B) and which
// meet the rest only through the couplings matr (nfb x namo): in a large
// problem the guide modes above far_guide_split times kwanted are reduced to
// the Krylov basis of their couplings (modesolver/far_guide_modes.hpp),
// unless `reducible` is false (A not of that form).
int guide_eigen_above(int n, double* a, double* b, double* w, double kwanted, int& m, int namo,
                      bool reducible = true);
// The order of the last eigenproblem solved by guide_eigen_above (what
// follows it takes the large problems' path from large_eigenproblem_order).
extern int guide_eigen_order;
// TM: C X = R solved (packed Cholesky, or the regularised inverse of C
// when C is ill-conditioned, after a warning on the listing), then the
// symmetric eigenproblem of diag(1/kc^2) - R^T X.  status 0 or LAPACK's info.
void prautotm(int& status, double kwanted = 0);
// TEM: the coefficients of mode j are the regularised inverse of C applied
// to the change-of-basis column (held in vet1[j]) of its conductor's chain.
void prautotem(int& status);
// Characteristic impedances of the TEM modes (in vet1) and their scaling to
// unit energy.
void chimp();
// Regularised inverse of C in matd: (C G^-1 C + a0 K)^-1 C G^-1 (imt 2, and
// C G^-1 replaces C in matc) or (C G^-1 C + a0 K)^-1 C (imt 0), G the Gram
// matrix of the basis functions, K that of their derivatives, a0 = alpha
// tr(C G^-1 C) / tr(K).  status: LAPACK's info of the factorisations.
void regolar(int imt, double alpha, int& status);
// Change of basis over the chains of basis functions: column i of T.
void br(int i, double* col);
// M (n rows, m columns, leading dimension ld, entry (1, 1) at m11) becomes
// T^T M, and then T^T M T unless flag is 1 (m = n).
void damab(double* m11, int ld, int n, int m, int flag);
// Field table of the purge in matd: for the middle point of every element
// carrying a regular function, the field just inside the contour of every
// enclosing-guide mode and basis function (TE: Hz, TM: tangential H).
void gmh(int imt);
// Keeps the modes with cutoff not above kpurge that satisfy the boundary
// condition (their cutoff negative when the test left them open).
void purge(int imt, double kpurge);
// The largest cutoff the purge looks at for the limit kpurge (the partners of
// the modes just below it).
double purge_reach(double kpurge);
