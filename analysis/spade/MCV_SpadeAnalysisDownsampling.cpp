// Density-dependent down-sampling of one file: events at or below the outlier
// density leave, events up to the target density stay, denser events stay
// with probability (target / density)^e, the exponent growing pass by pass
// until about the wanted share of the file is left.
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "data/MCV_CytometryData.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace {

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The value a sorted list holds at `percentile` of its range; the float
// product may round past the last index of a large list.
int atPercentile(const std::vector<int>& sorted, float percentile) {
    const float step = static_cast<float>(sorted.size() - 1) / 100.0f;
    const auto index = static_cast<size_t>(percentile * step);
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

bool MCV_SpadeAnalysis::downsample(int file) {
    if (!m_due.densities && !m_due.downsampling) return false;
    const size_t f = static_cast<size_t>(file);
    const size_t n = static_cast<size_t>(numEvents(file));
    const std::vector<int>& densities = m_localDensities[f];
    std::vector<bool>& keep = m_keepMasks[f];
    std::vector<unsigned>& kept = m_downsampledEvents[f];
    keep.resize(n, false);
    kept.clear();
    if (n == 0 || densities.size() != n) return true;

    const std::vector<int>& sorted = m_sortedDensities[f];
    const int outlier = atPercentile(sorted, m_outlierDensityPercentile);
    const int target = std::max(atPercentile(sorted, m_targetDensityPercentile), 1);

    if (static_cast<double>(m_densityLimit) > 99.9) {
        std::fill(keep.begin(), keep.end(), true);
    } else {
        const float wanted = m_densityLimit * 0.01f * static_cast<float>(n);
        // NaN or below one event: no pass.
        const int maxCellCount = wanted >= 1.0f ? static_cast<int>(wanted) : 0;
        std::cout << "\tDownsampling ..\n";
        // Without a pass nothing is kept, on every run alike.
        std::fill(keep.begin(), keep.end(), false);
        const long count = static_cast<long>(n);
        for (int exponent = 1; maxCellCount > 0; ++exponent) {
            std::cout << "\t\toutlier density = " << outlier << ", target density = " << target
                      << ", max cellcount = " << maxCellCount << ", curve exponent = " << exponent << " .. "
                      << std::flush;
            // One seed per pass from the process's generator; each event's
            // draw depends on it and the event only, so a pass keeps the same
            // events on any number of threads.
            const auto seed = static_cast<std::uint64_t>(std::rand());
            const double e = exponent;
            long remaining = 0;
            // std::vector<bool> packs its flags: the pass decides into bytes.
            std::vector<unsigned char> decision(n, 0);
#pragma omp parallel for schedule(static) reduction(+ : remaining)
            for (long k = 0; k < count; ++k) {
                const int d = densities[static_cast<size_t>(k)];
                bool stays = false;
                if (d <= outlier) {
                    stays = false;
                } else if (d <= target) {
                    stays = true;
                } else {
                    const auto r = static_cast<std::uint32_t>(
                        splitmix64(seed ^ (static_cast<std::uint64_t>(k) * 0xd1b54a32d192ed03ull)) >> 33);
                    const float p = static_cast<float>(
                        std::pow(static_cast<double>(static_cast<float>(target) / static_cast<float>(d)), e));
                    stays = p > static_cast<float>(r) * 4.656613e-10f;
                }
                decision[static_cast<size_t>(k)] = stays ? 1 : 0;
                remaining += stays ? 1 : 0;
            }
            for (size_t k = 0; k < n; ++k) keep[k] = decision[k] != 0;
            std::cout << remaining << " samples remain.\n";
            if (exponent > 10 || static_cast<double>(remaining) <= 1.05 * maxCellCount) break;
        }
    }
    for (size_t k = 0; k < n; ++k)
        if (keep[k]) kept.push_back(static_cast<unsigned>(k));
    std::cout << "\t\tDone, " << kept.size() << " (" << static_cast<float>(kept.size()) * 100.0f / static_cast<float>(n)
              << "%) active Samples remain.\n";
    return true;
}
