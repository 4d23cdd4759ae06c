// Table record shared by every subsystem.
//
// A table record starts with its capacity and its current count, followed by
// the entries.  Entries are numbered from 1 (entry 0 is never used), so the
// index arithmetic of the algorithms reads the same in the code.  CAP is the
// capacity of a plain run, stored at program start; the storage is taken at
// run time, CAP entries at first.  A run whose limits ask for more (the
// convergence passes) sets a larger capacity with set_capacity() before the
// table is filled; the capacity word is what the overflow checks compare
// against.  A table whose count is a product of others (couplings, system)
// takes its storage as the count is set, after its check (hold()), so that
// a capacity sized for the largest limits costs nothing until it is used.
#pragma once
#include <cstddef>
#include <vector>

template <class T, int CAP>
struct fss_table {
  static constexpr int max_entries = CAP;
  int cap = 0;  // capacity in force
  int n = 0;    // current count
  std::vector<T> v = std::vector<T>(CAP + 1);  // entries 1 .. storage()

  T& operator[](int i) { return v[i]; }
  const T& operator[](int i) const { return v[i]; }
  T* data1() { return v.data() + 1; }  // entry 1, for LAPACK and bulk copies
  const T* data1() const { return v.data() + 1; }
  int storage() const { return static_cast<int>(v.size()) - 1; }
  // The capacity in force; with `take` the storage grows to it at once.
  void set_capacity(int capacity, bool take = true) {
    cap = capacity;
    if (take && storage() < capacity) v.resize(static_cast<std::size_t>(capacity) + 1);
  }
  // The storage given back to a plain run's (the capacity kept), the table
  // emptied.
  void release() {
    std::vector<T>().swap(v);  // the storage given back before the plain run's is taken
    v.resize(CAP + 1);
    n = 0;
  }
  // Storage for entries 1 .. count once the count has passed its check.
  void hold(long count) {
    if (count > storage()) v.resize(static_cast<std::size_t>(count) + 1);
  }
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
  // The storage given back (the capacity kept): the next shape() takes it
  // anew, filled with zeros.
  void release() {
    std::vector<double>().swap(v);
    nrow = ncol = 0;
  }
};
