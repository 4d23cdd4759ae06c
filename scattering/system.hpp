// Mode-matching system of the screen: assembly and LU solution.
#pragma once

void calc_mata();
void calc_vettb();
void solve_prob();
// Solution for the waves incident on the far side (after solve_prob).
void solve_far_side();
