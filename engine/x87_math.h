#pragma once
// pow, log, sin and cos of the plain floating-point path, in double precision on the x87 unit,
// as the Windows C runtime computes them: the transcendental instructions (FYL2X, F2XM1, FSCALE,
// FSIN, FCOS) with the argument checks around them, and the C library's results for the special
// cases. Out of line, as the runtime's functions are, so that the timed loop calls them.
// They expect the run's control word (engine/fpu_control.h): exceptions masked, round to nearest.

double x87_pow(double x, double y);
double x87_log(double x);
double x87_sin(double x);
double x87_cos(double x);
