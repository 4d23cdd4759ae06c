// Lists of enclosing-guide modes below a cutoff limit, filled into `amo`.
//
// On entry amo.n is the number of modes wanted; on return it is the number
// found.  The status goes to dat.status and, with its message, to `errors`:
// 1016 / 1015 / 1017 when more than amo.cap modes lie below the limit,
// 3015 / 3017 when the limit lies beyond the Bessel-zero tables.
#pragma once

// Rectangle: kmax >= 0 the TE spectrum, kmax < 0 the TM spectrum, up to |kmax|.
void gmor(double kmax);
// Circle: TE and TM modes with kc <= |kmax|.
void gmotec(double kmax);
void gmotmc(double kmax);
