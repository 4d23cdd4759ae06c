// Fixed-capacity table record shared by every subsystem.
//
// A table record starts with its capacity and its current count, followed by
// the entries.  Entries are numbered from 1 (entry 0 is never used), so the
// index arithmetic of the algorithms reads the same in the code.  The storage
// is sized at compile time; the capacity word is what the overflow checks
// compare against, and it is stored at program start.
#pragma once
#include <vector>

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

// Dense matrix of doubles, stored column by column with the leading
// dimension nrow; entries (i, j) from (1, 1).  The capacity word (entries)
// is the ceiling of the table; the storage is taken at run time, as large
// as the shapes asked for so far: shape() checks the capacity before a
// table is filled and grows the storage to it (entries already there are
// kept).  A matrix is filled only after shape().
struct fss_matrix {
  long cap = 0;
  int nrow = 0, ncol = 0;
  std::vector<double> v;  // v[0] unused

  explicit fss_matrix(long capacity = 0) : cap(capacity) {}
  bool shape(int rows, int cols) {
    const long need = static_cast<long>(rows) * cols;
    if (rows < 0 || cols < 0 || need > cap) return false;
    if (static_cast<long>(v.size()) < need + 1) v.resize(need + 1);
    nrow = rows;
    ncol = cols;
    return true;
  }
  double& operator()(int i, int j) { return v[i + static_cast<long>(j - 1) * nrow]; }
  double operator()(int i, int j) const { return v[i + static_cast<long>(j - 1) * nrow]; }
  double* data1() { return v.data() + 1; }
};
