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
// Packed positive-definite solve, Cholesky factorisation and inverse.
void dppsv_(const char* uplo, const int* n, const int* nrhs, double* ap, double* b,
            const int* ldb, int* info);
void dpptrf_(const char* uplo, const int* n, double* ap, int* info);
void dpptri_(const char* uplo, const int* n, double* ap, int* info);
}

// Index of (i, j), i <= j, in packed upper storage (from 1).
inline long packed_upper(int i, int j) { return i + static_cast<long>(j) * (j - 1) / 2; }
