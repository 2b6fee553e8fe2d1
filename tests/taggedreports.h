// Input reports that carry their own sequence number and a pattern derived
// from it, so a test can tell order, loss and damage apart.
#pragma once

#include "simulator.h"

inline sim::Report tagged(int n)
{
    sim::Report r{};
    r[0] = 0xAA;
    r[1] = 0x77;
    r[2] = n & 0xFF;
    r[3] = (n >> 8) & 0xFF;
    for (int i = 4; i < 64; ++i)
        r[i] = static_cast<unsigned char>(n * 31 + i);
    return r;
}

inline int tagOf(const unsigned char *r)
{
    return r[2] | (r[3] << 8);
}
