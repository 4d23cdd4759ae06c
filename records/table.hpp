// Fixed-capacity table record shared by every subsystem.
//
// A table record starts with its capacity and its current count, followed by
// the entries.  Entries are numbered from 1 (entry 0 is never used), so the
// index arithmetic of the algorithms reads the same in the code.  The storage
// is sized at compile time; the capacity word is what the overflow checks
// compare against, and it is stored at program start.
#pragma once

template <class T, int CAP>
struct fss_table {
  static constexpr int max_entries = CAP;
  int cap = 0;       // capacity in force (set at program start)
  int n = 0;         // current count
  T v[CAP + 1]{};    // entries 1 .. CAP

  T& operator[](int i) { return v[i]; }
  const T& operator[](int i) const { return v[i]; }
  T* data1() { return &v[1]; }  // entry 1, for LAPACK and bulk copies
};

// Fixed-capacity dense matrix of doubles, stored column by column with the
// leading dimension nrow; entries (i, j) from (1, 1).  shape() checks the
// capacity before a table is filled.
template <long CAP>
struct fss_matrix {
  static constexpr long max_entries = CAP;
  long cap = CAP;
  int nrow = 0, ncol = 0;
  double v[CAP + 1];

  bool shape(int rows, int cols) {
    if (rows < 0 || cols < 0 || static_cast<long>(rows) * cols > cap) return false;
    nrow = rows;
    ncol = cols;
    return true;
  }
  double& operator()(int i, int j) { return v[i + static_cast<long>(j - 1) * nrow]; }
  double operator()(int i, int j) const { return v[i + static_cast<long>(j - 1) * nrow]; }
  double* data1() { return &v[1]; }
};
