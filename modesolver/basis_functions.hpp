// Boundary basis functions of the eigenmode solver on the segmented contour,
// and the chain bookkeeping over them.
#pragma once

// Builds the basis-function table `fbo` on the coded contour `blok2`.
// ifb: 0 regular functions only (TE, TEM), 1 regular and special (TM);
// imt: 0 TEM, 1 TE, 2 TM (the end conditions of TM and TEM are those of TE
// with zero slope and zero value exchanged); iflag_cont: 0 (wall elements
// carry no function).  Stores the number of the regular function centred on
// each row with a label 1 .. 999 in slot 16 of its `matco` row.
// dat.status = 1020 when the table overflows.
void fbdef(int ifb, int imt, int iflag_cont);

// Appends a regular function of type itype centred on row i between its
// same-line neighbours iip and iis.
void cfbo(int iip, int i, int iis, int itype);

// Adds the corner (special) function that the regular function of type ktype
// centred on row i calls for, if any.
void cfbsp(int iip, int i, int iis, int ktype);

// Fills `ltra`, `ivet`, `avet` from `fbo`; status 1030 for more chains than
// the capacity of `ltra`.
void gvett(int& status);
