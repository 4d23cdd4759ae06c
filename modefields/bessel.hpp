// Bessel functions of the first kind of integer order.
#pragma once

// Jn(x) and J(n+1)(x) for n >= 0, x >= 0, with optional scaling by powers of
// x so that the small-argument limits stay finite:
//   iflag < 0        bj = Jn(x),          bj1 = J(n+1)(x)
//   iflag = 0        bj = Jn(x),          bj1 = J(n+1)(x)/x
//   1 <= iflag <= n  bj = Jn(x)/x^iflag,  bj1 = J(n+1)(x)/x^(iflag+1)
//   iflag > n        bj = Jn(x)/x^n,      bj1 = J(n+1)(x)/x^n
void bessji(int n, double x, double& bj, double& bj1, int iflag);
// Forgets the remembered values (a run starts as the process did).
void bessel_forget();
