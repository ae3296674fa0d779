#include "support/crt_random.h"

namespace {
thread_local unsigned t_state = 1;
}

void crt_srand(unsigned seed) { t_state = seed; }

int crt_rand() {
    CrtRandom random(t_state);
    const int value = random.Next();
    t_state = random.state();
    return value;
}
