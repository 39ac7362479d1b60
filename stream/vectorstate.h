#pragma once

// Some of the toolkit's image routines (filling an image, painting text)
// run with the processor's wide vector registers and return with their upper
// halves still in use. Until those are cleared, every 128-bit and every
// floating-point instruction of this program's own code, built for the
// baseline instruction set, runs at a fraction of its speed on some x86
// processors: the raster then draws two to three times slower, in that thread
// and in every thread it starts afterwards. Called after such a call, on the
// thread that made it; does nothing where the processor has no wide registers.
void clearUpperVectorState();
