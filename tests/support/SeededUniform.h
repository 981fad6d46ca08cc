#pragma once

#include <cstdint>

// Numbers in [0, 1) from a small linear congruential generator: the same
// sequence for a seed on every run and every machine, so test files made from
// it hold the same events each time.
class SeededUniform {
public:
    explicit SeededUniform(int seed) : m_state(2654435761u * static_cast<uint32_t>(seed + 1)) {}

    float operator()() {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<float>(m_state >> 8) / static_cast<float>(1u << 24);
    }

private:
    uint32_t m_state;
};
