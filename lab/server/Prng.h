#pragma once

#include <cstdint>

namespace lab {

// SplitMix64: tiny, fast and identical on every platform and standard
// library, which std::uniform_*_distribution is not. Everything the lab
// serves is drawn from it, so one seed always gives the same fleet.
class Prng {
public:
    explicit Prng(uint64_t seed) : m_state(seed) {}

    // Combines values into one well-mixed seed; streams derived from
    // (seed, server, purpose) do not depend on how many servers there are.
    static uint64_t Mix(uint64_t a, uint64_t b) {
        Prng p(a ^ (b * 0xD1B54A32D192ED03ull));
        p.Next();
        return p.Next();
    }

    uint64_t Next() {
        m_state += 0x9E3779B97F4A7C15ull;
        uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n); n > 0.
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
    // Uniform in [lo, hi].
    int Range(int lo, int hi) {
        return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    bool Chance(double p) { return Unit() < p; }

private:
    uint64_t m_state;
};

} // namespace lab
