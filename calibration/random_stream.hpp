// The calibration's own random numbers: xoshiro256** seeded through
// splitmix64, with uniform and normal deviates built here rather than by the
// standard library's distributions (whose output may change between library
// versions). The same seed gives the same stream on every build.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace hydro {

class RandomStream {
  public:
    explicit RandomStream(uint64_t seed) {
        for (uint64_t& word : s_) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    uint64_t next() {
        const uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform on [0, 1), 53 random bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // A whole number in 0 .. n-1 (n > 0), without modulo bias.
    std::size_t below(std::size_t n) {
        const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        uint64_t v;
        do v = next();
        while (v >= limit);
        return static_cast<std::size_t>(v % n);
    }

    // Standard normal deviate (Marsaglia's polar method).
    double normal() {
        for (;;) {
            const double u = 2.0 * uniform() - 1.0, v = 2.0 * uniform() - 1.0;
            const double q = u * u + v * v;
            if (q > 0.0 && q < 1.0) return u * std::sqrt(-2.0 * std::log(q) / q);
        }
    }

  private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4];
};

}  // namespace hydro
