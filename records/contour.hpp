// Records of the aperture contour: the boundary elements as read, the ports,
// the coded contour table, the current-element work record, the shift that
// maps contour coordinates back to the boundary file, the quadrature points
// on the contour and the collocation points of the boundary elements.
// One instance of each, for the whole run.
#pragma once
#include <string>
#include <vector>

#include "records/table.hpp"

// Capacities of the contour records (stored by the caller before use).
constexpr int elm_capacity = 100;    // boundary elements of a file
constexpr int port_capacity = 4;     // port elements
constexpr int xye_capacity = 400;    // contour rows, header row included
constexpr int xye_bound = 3200;      // contour rows of a table grown with the
                                     // limits (convergence passes, "-fine")
constexpr int xypts_capacity = 1000; // quadrature points

// Boundary element as read: start, end and third point of an arc; both
// third-point coordinates are 1000000.0 for a straight element.
struct elm_row { double x1, y1, x2, y2, x3, y3; };
constexpr double straight_marker = 1000000.0;

// One row of the contour table: twelve 8-byte slots, numbered 1 .. 12.
// Slots 8, 9, 11 and 12 hold packed integer words (see contour/contour.hpp).
struct xye_row {
  double s[13];
  double& operator[](int k) { return s[k]; }
  const double& operator[](int k) const { return s[k]; }
};

// Port element: start and end as read from the file.
struct port_xy { double x1, y1, x2, y2; };

// Current element and point handed between contour routines.
struct blok3_rec {
  int iel = 0;                 // element row
  double s = 0;                // arc-length position
  double f = 0;                // relative position on the element (0..1)
  double x1 = 0, y1 = 0;       // first point
  double x = 0, y = 0;         // point
  double x2 = 0, y2 = 0;       // second point
  double tx = 0, ty = 0;       // unit tangent
};

// Amounts subtracted from the (possibly mirrored) file coordinates to obtain
// contour coordinates, and the mirror flags.
struct translations_rec {
  double dx = 0, dy = 0;
  int mirx = 0, miry = 0;
};

struct xy_point { double x, y; };

// Boundary elements are sized from the aperture-mode limit times `factor`
// (1: from the limit itself; larger on request, so that the modes near the
// limit are as accurate as the first ones).  The mode search still ends at
// the limit.
struct element_margin_rec { double factor = 1.0; };

// Collocation row: three points, their polar coordinates, length, tangent.
struct matco_row { double v[17]; };

using blok2_rec = fss_table<xye_row, xye_bound>;  // n = rows in use
using elm_rec = fss_table<elm_row, elm_capacity>;
using portcir_rec = fss_table<int, port_capacity>;   // rows in blok2

extern blok2_rec blok2;
extern blok3_rec blok3;
extern elm_rec elm;
extern portcir_rec portcir;
extern port_xy portcirxy[port_capacity + 1];
extern translations_rec translations;
extern element_margin_rec element_margin;

// Rows of the boundary file (1 = its first line) of the elements that a
// reading or coding failure is about (0: none), and the row each contour
// row comes from (0: made by the segmentation).
struct xye_fault_rec { int row1 = 0, row2 = 0; };
extern xye_fault_rec xye_fault;
extern int xye_origin[xye_bound + 1];

// Origin of the boundary file being coded, for the messages: when `file` is
// set, row k of the boundary file is line `line0` + k of that file (the
// structure file), and `limit` is the context line of the frequency limit
// the segmentation follows.
struct apb_origin_rec {
  std::string file;
  int line0 = 0;
  std::string limit;
};
extern apb_origin_rec apb_origin;

// Quadrature points (entries from 1; count in xypts.n).
extern fss_table<xy_point, xypts_capacity> xypts;
// Weight, tangent, local abscissa, label and contour row of each point,
// held as long as xypts (sample_point_capacity()).
extern std::vector<double> xywgt;
extern std::vector<xy_point> xytan;
extern std::vector<double> xycsi;
extern std::vector<int> xytype;
extern std::vector<int> ixyele;
// The capacity of the quadrature points (xypts_capacity in a plain run),
// with the storage of every table of them.
void sample_point_capacity(int capacity);
extern int nsps;

// Collocation table, row index = contour row.
extern matco_row matco[xye_bound + 1];
