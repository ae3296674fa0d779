#include "support/crt_random.h"

namespace {
thread_local unsigned t_state = 1;
}

void crt_srand(unsigned seed) { t_state = seed; }

int crt_rand() {
    t_state = t_state * 214013u + 2531011u;
    return static_cast<int>((t_state >> 16) & 0x7FFF);
}
