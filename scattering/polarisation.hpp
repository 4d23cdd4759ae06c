// Co- and cross-polarised scattering of the specular waves and the power
// carried by every propagating Floquet order, from the solved system.
#pragma once

// Fills fss_polar from the solution of the sweep point (after solve_prob).
void calc_polarisations();
