#pragma once
// The runtime library's srand/rand generator, reproduced so that the manifest
// format and the log mutex names never depend on which C runtime is linked.
// State is per thread, as in the runtime.

void crt_srand(unsigned seed);
int crt_rand();

// The same generator with its state in a local value, for loops that draw one
// number per byte: MinGW reaches the per-thread state through emulated
// thread-local storage, a call on every draw.
class CrtRandom {
public:
    explicit CrtRandom(unsigned seed) : m_state(seed) {}
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }
    unsigned state() const { return m_state; }

private:
    unsigned m_state;
};
