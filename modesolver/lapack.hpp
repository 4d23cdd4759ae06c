// LAPACK routines of the eigenproblems, through the Fortran interface.
#pragma once

extern "C" {
// Generalised symmetric-definite eigenproblem A x = lambda B x.
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work,
            const int* lwork, int* info);
// Symmetric eigenproblem A x = lambda x.
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
            double* w, double* work, const int* lwork, int* info);
// The same by divide and conquer (the work arrays queried with lwork = -1).
void dsygvd_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
             const int* lda, double* b, const int* ldb, double* w, double* work,
             const int* lwork, int* iwork, const int* liwork, int* info);
void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
             double* w, double* work, const int* lwork, int* iwork, const int* liwork,
             int* info);
// Packed positive-definite solve, Cholesky factorisation and inverse.
void dppsv_(const char* uplo, const int* n, const int* nrhs, double* ap, double* b,
            const int* ldb, int* info);
void dpptrf_(const char* uplo, const int* n, double* ap, int* info);
void dpptri_(const char* uplo, const int* n, double* ap, int* info);
// The steps of a subset of the spectrum: Cholesky factor of B, reduction to
// the standard problem, to tridiagonal form, the tridiagonal eigenpairs by
// relatively robust representations (or, should they fail, bisection and
// inverse iteration), and the back-transformations.
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
void dsygst_(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
             const double* b, const int* ldb, int* info);
void dsytrd_(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
             double* tau, double* work, const int* lwork, int* info);
void dormtr_(const char* side, const char* uplo, const char* trans, const int* m, const int* n,
             const double* a, const int* lda, const double* tau, double* c, const int* ldc,
             double* work, const int* lwork, int* info);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag,
            const int* m, const int* n, const double* alpha, const double* a, const int* lda,
            double* b, const int* ldb);
double dlamch_(const char* cmach);
void dstebz_(const char* range, const char* order, const int* n, const double* vl,
             const double* vu, const int* il, const int* iu, const double* abstol, const double* d,
             const double* e, int* m, int* nsplit, double* w, int* iblock, int* isplit,
             double* work, int* iwork, int* info);
void dstein_(const int* n, const double* d, const double* e, const int* m, const double* w,
             const int* iblock, const int* isplit, double* z, const int* ldz, double* work,
             int* iwork, int* ifail, int* info);
void dstemr_(const char* jobz, const char* range, const int* n, double* d, double* e,
             const double* vl, const double* vu, const int* il, const int* iu, int* m, double* w,
             double* z, const int* ldz, const int* nzc, int* isuppz, int* tryrac, double* work,
             const int* lwork, int* iwork, const int* liwork, int* info);
}

// Index of (i, j), i <= j, in packed upper storage (from 1).
inline long packed_upper(int i, int j) { return i + static_cast<long>(j) * (j - 1) / 2; }

extern "C" {
// C = alpha op(A) op(B) + beta C (BLAS).
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b,
            const int* ldb, const double* beta, double* c, const int* ldc);
}

// C (m x n, leading dimension m) = op(A) op(B), op "N" or "T", k the inner
// dimension; A and B column by column with the given leading dimensions.
inline void matmul(const char* ta, const char* tb, int m, int n, int k, const double* a,
                   int lda, const double* b, int ldb, double* c) {
  const double one = 1, zero = 0;
  if (m > 0 && n > 0) dgemm_(ta, tb, &m, &n, &k, &one, a, &lda, b, &ldb, &zero, c, &m);
}

// Eigenvalues (ascending) and eigenvectors of the symmetric A (n x n), with
// B symmetric positive definite (the generalised problem, B-normalised
// vectors) or without (b null).  From the order `large_eigenproblem_order`
// on, the divide-and-conquer drivers: the QR iteration of dsygv and dsyev
// applies its rotations to the eigenvectors one at a time (dlasr), most of
// the time of a large mode computation; below it the QR drivers, so that
// every smaller problem keeps its results bit for bit.  LAPACK's info.
extern int large_eigenproblem_order;
int symmetric_eigen(int n, double* a, double* b, double* w);
// The eigenpairs with eigenvalue above lambda_min only, m of them: from the
// order `large_eigenproblem_order` on, the tridiagonal problem is solved for
// them alone (relatively robust representations) and only their vectors are
// transformed back, in the first m columns of a (leading dimension n); the
// lowest cutoffs are a small part of a large mode computation's spectrum.
// Below that order, or with lambda_min <= 0, the whole spectrum as
// symmetric_eigen gives it (m = n).  A right-hand matrix whose leading
// block of order identity_order is the identity (and B12 = 0) is reduced
// through its trailing block alone.  LAPACK's info (n + i: the i-th leading
// minor of B is not positive definite).
int symmetric_eigen_above(int n, double* a, double* b, double* w, double lambda_min, int& m,
                          int identity_order = 0);
// The tridiagonal eigenpairs of symmetric_eigen_above by bisection and inverse
// iteration, as when the relatively robust representations fail (for tests).
extern bool subset_by_bisection;
