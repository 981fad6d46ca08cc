#pragma once
// Independent random streams for the random walks of the hierarchy. Every start
// point of a parallel walk loop draws from an engine of its own, seeded from
// (seed, scale, purpose, point) through a 64-bit mixer, so the walks do not
// depend on which thread runs them or in which order. Seeds such as seed + i
// would start neighbouring points on nearly the same sequence.

#include <cstdint>
#include <random>

namespace vel {
namespace dr {

enum class WalkPurpose : std::uint32_t { Selection = 1, Influence = 2, FixedReduction = 3 };

// splitmix64 finaliser: a bijection of 64-bit values with full avalanche.
inline std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// The engine of one stream; the standard seeding maps its state into
// 1 .. 2^31 - 2.
inline std::minstd_rand walkEngine(std::uint32_t seed, std::uint32_t scale, WalkPurpose purpose, std::uint32_t point) {
    std::uint64_t h = splitmix64(seed);
    h = splitmix64(h ^ scale);
    h = splitmix64(h ^ static_cast<std::uint32_t>(purpose));
    h = splitmix64(h ^ point);
    return std::minstd_rand(static_cast<std::minstd_rand::result_type>(h >> 32));
}

}  // namespace dr
}  // namespace vel
