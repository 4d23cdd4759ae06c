// Mode-matching system of the screen: assembly and LU solution.
#pragma once

void calc_mata();
void calc_vettb();
void solve_prob();
