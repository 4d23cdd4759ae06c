// The apertures of the structure file as read (block 4, millimetres), of
// every screen: for the picture of the structure, drawn before any
// computation.
#pragma once
#include <vector>

#include "records/contour.hpp"
#include "records/run.hpp"

struct fss_aperture_rec {
  static constexpr int max_entries = max_screens * max_screen_apertures * elm_capacity;
  int cap = max_entries;
  int n = 0;     // elements held, entries 1 .. n
  int more = 0;  // elements beyond the capacity (the contour coder refuses them)
  // Per element: the element, its aperture (from 1, in the order of block 4)
  // and its screen (from 1); entry 0 unused.
  std::vector<elm_row> el = std::vector<elm_row>(1);
  std::vector<int> ap = std::vector<int>(1), sc = std::vector<int>(1);
  void add(const elm_row& e, int aperture, int screen) {
    if (n >= cap) {
      ++more;
      return;
    }
    ++n;
    el.push_back(e);
    ap.push_back(aperture);
    sc.push_back(screen);
  }
};
extern fss_aperture_rec fss_aperture;
