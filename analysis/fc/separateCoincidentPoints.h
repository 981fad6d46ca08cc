#pragma once
// Points of a map that start on exactly one position feel exactly the same
// forces in either t-SNE engine, so no descent ever parts them: a refined
// population whose new landmarks all start at their one strongest held
// neighbour would stay drawn as one dot. Each point that shares its start
// with another is moved by an offset drawn uniformly from a disc of the
// given radius; the descent then spreads or gathers them as their
// neighbourhood says. Points on a position of their own keep it.
//
// The offsets come from a generator seeded with `seed` and are drawn for
// the points in index order, so the same start and seed give the same map.

#include <cstdint>
#include <vector>

// Positions: x then y of each point. Returns the number of points moved.
std::size_t separateCoincidentPoints(std::vector<float>& positions, std::uint32_t seed, float radius);
