#include "vel/utils/FlannKnnBackend.h"

#include <omp.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include <flann/flann.hpp>

#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace utils {

namespace {
// Queries per search call. The 64-bit result indices exist for one block at a
// time, which keeps the neighbour lists within N x K x 8 bytes.
constexpr unsigned int kQueryBlock = 512;
// FLANN shares a search's queries out to its threads in equal static parts,
// and the tree searches take very different times: the threads take runs of
// a few queries as they become free instead, each run one single-threaded
// search. A query's answer does not depend on the run it is in.
constexpr unsigned int kQueryRun = 8;

void searchInRuns(const flann::Index<flann::L2<float>>& index, const float* data, unsigned int first, unsigned int rows,
                  unsigned int dims, unsigned int k, std::size_t* blockIndices, float* distances,
                  flann::SearchParams params) {
    const int threads = params.cores;
    params.cores = 1;
    const long long runs = (rows + kQueryRun - 1) / kQueryRun;
    std::exception_ptr failure;
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (long long r = 0; r < runs; ++r) {
        const unsigned int offset = static_cast<unsigned int>(r) * kQueryRun;
        const unsigned int count = std::min(kQueryRun, rows - offset);
        try {
            flann::Matrix<float> queries(const_cast<float*>(data) + static_cast<std::size_t>(first + offset) * dims,
                                         count, dims);
            flann::Matrix<std::size_t> result(blockIndices + static_cast<std::size_t>(offset) * k, count, k);
            flann::Matrix<float> runDistances(distances + static_cast<std::size_t>(first + offset) * k, count, k);
            index.knnSearch(queries, result, runDistances, k, params);
        } catch (...) {
#pragma omp critical(flannRunFailure)
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

void FlannKnnBackend::search(const Request& request, std::vector<float>& distances, std::vector<int>& indices,
                             Timings& timings, AbstractLog* logger) const {
    if (logger) logger->display("Computing approximated knn with Flann...", false);
    const unsigned int n = request.numPoints;
    const unsigned int k = request.k;
    const unsigned int dims = request.dims;

    flann::Matrix<float> dataset(const_cast<float*>(request.data), n, dims);
    flann::Index<flann::L2<float>> index(dataset, flann::KDTreeIndexParams(request.numTrees));
    distances.resize(static_cast<std::size_t>(n) * k);
    indices.resize(static_cast<std::size_t>(n) * k);
    {
        ScopedTimer<float> timer(timings.treesConstructionTime);
        index.buildIndex();
    }
    {
        ScopedTimer<float> timer(timings.aknnTime);
        flann::SearchParams params(request.numChecks, 0, true);
        params.max_neighbors = -1;
        // The installed FLANN hands `cores` to OpenMP's num_threads, where 0 is invalid.
        params.cores = std::max(1, omp_get_max_threads());
        const std::size_t unset = static_cast<std::size_t>(-1);
        std::vector<std::size_t> blockIndices;
        std::unique_ptr<flann::Index<flann::L2<float>>> linear;
        for (unsigned int first = 0; first < n; first += kQueryBlock) {
            if (!request.carryOn(0)) throw Stopped();
            const unsigned int rows = std::min(kQueryBlock, n - first);
            blockIndices.assign(static_cast<std::size_t>(rows) * k, unset);
            flann::Matrix<float> queries(const_cast<float*>(request.data) + static_cast<std::size_t>(first) * dims,
                                         rows, dims);
            flann::Matrix<std::size_t> blockResult(blockIndices.data(), rows, k);
            flann::Matrix<float> blockDistances(distances.data() + static_cast<std::size_t>(first) * k, rows, k);
            searchInRuns(index, request.data, first, rows, dims, k, blockIndices.data(), distances.data(), params);
            // The randomised trees may reach fewer than k points when k is close
            // to n (a small selection), depending on how the trees fell: such a
            // block is answered again by a linear scan, which is exact.
            if (std::any_of(blockIndices.begin(), blockIndices.end(),
                            [&](std::size_t i) { return i == unset || i >= n; })) {
                if (!linear) {
                    linear = std::make_unique<flann::Index<flann::L2<float>>>(dataset, flann::LinearIndexParams());
                    linear->buildIndex();
                }
                blockIndices.assign(static_cast<std::size_t>(rows) * k, unset);
                linear->knnSearch(queries, blockResult, blockDistances, k, params);
            }
            for (std::size_t e = 0; e < blockIndices.size(); ++e) {
                if (blockIndices[e] == unset || blockIndices[e] >= n) {
                    const std::size_t point = first + e / k;
                    throw std::runtime_error("Flann returned fewer than " + std::to_string(k) +
                                             " neighbors for point " + std::to_string(point));
                }
                indices[static_cast<std::size_t>(first) * k + e] = static_cast<int>(blockIndices[e]);
            }
            if (!request.carryOn(rows)) throw Stopped();
        }
    }
}

}  // namespace utils
}  // namespace vel
