// The picture of the structure as described: a few cells of the screen
// with their apertures (sides and arcs as read, inner conductors filled),
// the two lattice vectors with their lengths and angle, the periods and the
// thickness.  It is the first panel of the plot ("-plot") and, alone, the
// picture of "-geometry", drawn before any computation.
#pragma once
#include <string>

// Height (pixels) of the panel in a picture 880 pixels wide.
constexpr int geometry_height = 430;
// The panel, its top at `top`.
std::string geometry_svg(double top);
// "<base>_geometry.svg": the title and the panel.
void write_geometry_picture();
