#pragma once
// Records of a made-up run, the same for a given seed and index in every
// process: tst_journal and the writer it kills (journalchild) both use them.

#include "recording/readinglog.h"

#include <QtGlobal>

#include <cstdint>

namespace journalrecords {

inline uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value as the meter reports it: a count of millionths, any 32-bit one.
inline float meterValue(uint64_t seed, int k, int column)
{
    const uint64_t h = mix(seed * 1000003ull + uint64_t(k) * 16 + uint64_t(column));
    // Mostly the sizes a charger shows, now and then anything up to 2^32 - 1.
    const uint32_t raw = (h & 0xF) == 0 ? uint32_t(h >> 32) : uint32_t((h >> 32) % 25000000u);
    return static_cast<float>(static_cast<double>(raw) / 1000000.0);
}

// Record k on the run's timeline: a second apart, a few ms late, now and then
// a gap; the wall clock a little off and once stepped back.
inline qint64 runMs(uint64_t seed, int k)
{
    qint64 t = 1700000000000ll + 1000ll * k + qint64(mix(seed ^ uint64_t(k)) % 9);
    if (k >= 40)
        t += 7000;
    return t;
}

inline qint64 wallMs(uint64_t seed, int k)
{
    return runMs(seed, k) + (k >= 60 ? -3600000 : qint64(mix(seed + uint64_t(k)) % 3));
}

inline void appendRecord(ReadingLog &log, uint64_t seed, int k)
{
    ReadingLog::Values v;
    for (int c = 0; c < ReadingLog::ColumnCount; ++c)
        v[size_t(c)] = meterValue(seed, k, c);
    log.append(wallMs(seed, k), runMs(seed, k), v);
}

} // namespace journalrecords
