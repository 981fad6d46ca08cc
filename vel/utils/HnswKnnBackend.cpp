#include "vel/utils/HnswKnnBackend.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include <hnswlib/hnswlib.h>

#include "vel/utils/KnnCodes.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace utils {

void HnswKnnBackend::search(const Request& request, std::vector<float>& distances, std::vector<int>& indices,
                            Timings& timings, AbstractLog* logger) const {
    if (logger) logger->display("Computing approximated knn with HNSWLIB...", false);
    const unsigned int n = request.numPoints;
    const unsigned int k = request.k;
    const unsigned int dims = request.dims;
    const bool innerProduct = request.metric == KNN_METRIC_INNER_PRODUCT;

    std::unique_ptr<hnswlib::SpaceInterface<float>> space;
    if (innerProduct)
        space = std::make_unique<hnswlib::InnerProductSpace>(dims);
    else
        space = std::make_unique<hnswlib::L2Space>(dims);
    hnswlib::HierarchicalNSW<float> index(space.get(), n, static_cast<std::size_t>(request.hnswM),
                                          static_cast<std::size_t>(request.hnswEfConstruction), 0);

    std::exception_ptr failure;
    std::atomic<bool> stopped{false};
    {
        ScopedTimer<float> timer(timings.treesConstructionTime);
        if (n > 0) index.addPoint(request.data, 0);
            // hnswlib accepts concurrent insertions; the graph may then differ between
            // thread counts, as with any approximate index built in parallel.
#pragma omp parallel for schedule(static)
        for (long long i = 1; i < static_cast<long long>(n); ++i) {
            if (stopped.load(std::memory_order_relaxed)) continue;
            if (!request.carryOn(0)) {
                stopped.store(true, std::memory_order_relaxed);
                continue;
            }
            try {
                index.addPoint(request.data + static_cast<std::size_t>(i) * dims, static_cast<hnswlib::labeltype>(i));
            } catch (...) {
#pragma omp critical(vel_hnsw_failure)
                if (!failure) failure = std::current_exception();
            }
        }
    }
    if (failure) std::rethrow_exception(failure);
    if (stopped) throw Stopped();

    distances.resize(static_cast<std::size_t>(n) * k);
    indices.resize(static_cast<std::size_t>(n) * k);
    long long shortRow = -1;
    {
        ScopedTimer<float> timer(timings.aknnTime);
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < static_cast<long long>(n); ++i) {
            if (stopped.load(std::memory_order_relaxed)) continue;
            if (!request.carryOn(1)) {
                stopped.store(true, std::memory_order_relaxed);
                continue;
            }
            try {
                auto top = index.searchKnn(request.data + static_cast<std::size_t>(i) * dims, k);
                while (top.size() > k) top.pop();
                float* rowDistances = distances.data() + static_cast<std::size_t>(i) * k;
                int* rowIndices = indices.data() + static_cast<std::size_t>(i) * k;
                if (top.size() < k) {
#pragma omp critical(vel_hnsw_failure)
                    if (shortRow < 0 || i < shortRow) shortRow = i;
                }
                for (std::size_t slot = top.size(); slot-- > 0;) {
                    rowDistances[slot] = top.top().first;
                    rowIndices[slot] = static_cast<int>(top.top().second);
                    top.pop();
                }
                if (innerProduct) {
                    // The inner-product space gives 1 - <x, y>, negative for large
                    // products, which overflows the Gaussian kernel. A common shift of
                    // the row keeps its probabilities and makes it non-negative.
                    const float lowest = rowDistances[0];
                    for (unsigned int j = 0; j < k; ++j) rowDistances[j] -= lowest;
                }
            } catch (...) {
#pragma omp critical(vel_hnsw_failure)
                if (!failure) failure = std::current_exception();
            }
        }
    }
    if (failure) std::rethrow_exception(failure);
    if (stopped) throw Stopped();
    if (shortRow >= 0)
        throw std::runtime_error("HNSWLIB returned fewer than " + std::to_string(k) + " neighbors for point " +
                                 std::to_string(shortRow));
}

}  // namespace utils
}  // namespace vel
