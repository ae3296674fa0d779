#pragma once
// The runtime library's srand/rand generator, reproduced so that the manifest
// format and the log mutex names never depend on which C runtime is linked.
// State is per thread, as in the runtime.

void crt_srand(unsigned seed);
int crt_rand();
