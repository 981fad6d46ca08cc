// The density stage of one file: the median distance of a random sample of
// events to their nearest neighbours gives the density radius, and every
// event's local density is the number of other events of its file within that
// radius. Both loops run over the file's selected columns through the L1
// kernel, in blocks: each block is one parallel region, and the console marks
// and the progress hook are reported between blocks. Every distance is the
// serial float sum in marker order, and every result is written by its own
// index, so the results do not depend on the thread count.
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "analysis/clustering/MCV_L1Columns.h"
#include "analysis/spade/MCV_SpadeProgress.h"
#include "data/MCV_CytometryData.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <numeric>
#include <random>

namespace {

// Events per distance call: the kernel writes into a buffer this long.
constexpr size_t kChunk = 4096;
// Nearest-neighbour distances start here: an event with no other event (or
// only NaN distances) keeps it.
constexpr float kNoNeighbour = 1e8f;

// Ascending, NaN last: a comparison that NaN breaks is no order at all.
bool nanLast(float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// Seed of the sampling generator: the low 32 bits of the clock ticks since
// the analysis was made (the generator itself turns a seed that is 0 modulo
// its modulus into 1).
std::uint32_t sampleSeed(std::chrono::steady_clock::time_point created) {
    const auto ticks = (std::chrono::steady_clock::now() - created).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks) & 0xffffffffu);
}

// The smallest distance from `query` (event `self` of `events`) to any other event.
float nearestNeighbour(const MCV_L1Columns<float>& events, const float* query, size_t self, float* buffer) {
    float best = kNoNeighbour;
    const size_t n = events.size();
    for (size_t begin = 0; begin < n; begin += kChunk) {
        const size_t end = std::min(n, begin + kChunk);
        events.distances(query, begin, end, buffer);
        for (size_t j = begin; j < end; ++j)
            if (j != self && buffer[j - begin] < best) best = buffer[j - begin];
    }
    return best;
}

}  // namespace

bool MCV_SpadeAnalysis::computeMedianMinimumDistance(int file, const MCV_L1Columns<float>& events) {
    if (!m_due.densities) return false;
    const size_t f = static_cast<size_t>(file);
    const size_t n = events.size();
    const std::string shortName = MCV_CytometryData::Instance()->fileName(file, true);
    std::cout << "\tComputing median minimum distance ..\n";
    if (n == 0) return false;
    if (m_maxRandomSampleSize < 1) {
        std::cout << "\t\tRandom sample size " << m_maxRandomSampleSize << " is below 1, using 1.\n";
        noteAdjustment(Adjustment::SampleSize, m_maxRandomSampleSize, 1);
    }
    const size_t s = std::clamp<size_t>(static_cast<size_t>(std::max(1, m_maxRandomSampleSize)), 1, n);
    std::cout << "\tCreating " << s << " random samples\n\t\t";

    // With 2s <= n the sample is drawn with replacement; otherwise it is s
    // distinct events (a partial shuffle), all of them when s = n.
    std::vector<unsigned> sample(s);
    std::minstd_rand generator(sampleSeed(m_created));
    {
        MCV_SpadeProgress progress(m_progress, "Sampling " + shortName, s, MCV_SpadeProgress::Marks::AtIndex);
        if (2 * s <= n) {
            std::uniform_int_distribution<unsigned> draw(0, static_cast<unsigned>(n - 1));
            for (size_t k = 0; k < s; ++k) {
                progress.advance(k + 1);
                sample[k] = draw(generator);
            }
        } else {
            std::vector<unsigned> order(n);
            std::iota(order.begin(), order.end(), 0u);
            for (size_t k = 0; k < s; ++k) {
                progress.advance(k + 1);
                if (s < n) {
                    std::uniform_int_distribution<size_t> pick(k, n - 1);
                    std::swap(order[k], order[pick(generator)]);
                }
                sample[k] = order[k];
            }
        }
    }
    std::cout << " done.\n\tComputing median distance to nearest neighbor " << std::flush;

    std::vector<float> nearest(s, kNoNeighbour);
    {
        MCV_SpadeProgress progress(m_progress, "Nearest neighbours of " + shortName, s,
                                   MCV_SpadeProgress::Marks::AtCount);
        const int threads = std::max(1, omp_get_max_threads());
        const size_t block = progress.blockSize(static_cast<double>(n) * events.numMarkers(), threads);
        for (size_t first = 0; first < s; first += block) {
            const long begin = static_cast<long>(first), end = static_cast<long>(std::min(s, first + block));
#pragma omp parallel num_threads(threads)
            {
                std::vector<float> buffer(kChunk), query(events.numMarkers());
#pragma omp for schedule(static)
                for (long k = begin; k < end; ++k) {
                    if (k == 0) std::cout << "using " << omp_get_num_threads() << " threads ..\n\t\t" << std::flush;
                    const size_t e = sample[static_cast<size_t>(k)];
                    events.copyEvent(e, query.data());
                    nearest[static_cast<size_t>(k)] = nearestNeighbour(events, query.data(), e, buffer.data());
                }
            }
            progress.advance(static_cast<size_t>(end));
        }
    }
    std::sort(nearest.begin(), nearest.end(), nanLast);
    const float median = nearest[s / 2];
    m_medianMinimumDistances[f] = median;
    m_densityRadii[f] = median * m_alpha;
    std::cout << "done.\n\t\tMedian distance is " << median << ". Scaled: " << m_densityRadii[f] << ".\n";
    return true;
}

bool MCV_SpadeAnalysis::computeLocalDensities(int file, const MCV_L1Columns<float>& events) {
    if (!m_due.densities) return false;
    const size_t f = static_cast<size_t>(file);
    const size_t n = events.size();
    const float radius = m_densityRadii[f];
    std::cout << "\tComputing local densities " << std::flush;
    std::vector<int>& densities = m_localDensities[f];
    densities.assign(n, 0);
    {
        MCV_SpadeProgress progress(m_progress,
                                   "Local densities of " + MCV_CytometryData::Instance()->fileName(file, true), n,
                                   MCV_SpadeProgress::Marks::AtCount);
        // One thread is left to the rest of the program.
        const int threads = omp_get_max_threads() > 1 ? omp_get_max_threads() - 1 : std::max(1, omp_get_max_threads());
        const size_t block = progress.blockSize(static_cast<double>(n) * events.numMarkers(), threads);
        for (size_t first = 0; first < n; first += block) {
            const long begin = static_cast<long>(first), end = static_cast<long>(std::min(n, first + block));
#pragma omp parallel num_threads(threads)
            {
                std::vector<float> query(events.numMarkers());
#pragma omp for schedule(static)
                for (long k = begin; k < end; ++k) {
                    if (k == 0) std::cout << "using " << omp_get_num_threads() << " threads ..\n\t\t" << std::flush;
                    const size_t i = static_cast<size_t>(k);
                    events.copyEvent(i, query.data());
                    // Every other event; the event itself is left out, not
                    // subtracted (a NaN or infinite value is not within any
                    // radius of itself).
                    const size_t within = events.countWithin(query.data(), 0, i, radius) +
                                          events.countWithin(query.data(), i + 1, n, radius);
                    densities[i] = static_cast<int>(within);
                }
            }
            progress.advance(static_cast<size_t>(end));
        }
    }
    m_sortedDensities[f] = densities;
    std::sort(m_sortedDensities[f].begin(), m_sortedDensities[f].end());
    std::cout << " done.\n";
    cacheDensities(file);
    return true;
}
