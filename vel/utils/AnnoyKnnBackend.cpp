#include "vel/utils/AnnoyKnnBackend.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <omp.h>

#include "vel/utils/AnnoyForest.h"
#include "vel/utils/KnnCodes.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace utils {

namespace {

std::string takeAnnoyError(char* error, const char* fallback) {
    std::string text = error ? std::string(error) : std::string(fallback);
    std::free(error);
    return text;
}

std::string shortfallMessage(unsigned int requested, std::size_t returned) {
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer),
                  "Requesting %d neighbors, but ANNOY returned only %u. Please increase search_k",
                  static_cast<int>(requested), static_cast<unsigned int>(returned));
    return buffer;
}

template <typename Distance>
void annoySearch(const KnnBackend::Request& request, std::vector<float>& distances, std::vector<int>& indices,
                 KnnBackend::Timings& timings, AbstractLog* logger) {
    const unsigned int n = request.numPoints;
    const unsigned int k = request.k;
    const unsigned int dims = request.dims;
    const int searchK = request.numTrees * static_cast<int>(k);
    const bool similarity = request.metric == KNN_METRIC_DOT;

    AnnoyForest<int, double, Distance, Kiss32Random> index(static_cast<int>(dims));
    std::vector<int> order;
    {
        ScopedTimer<float> timer(timings.treesConstructionTime);
        index.reserveItems(static_cast<int>(n));
        std::vector<double> item(dims);
        for (unsigned int i = 0; i < n; ++i) {
            const float* point = request.data + static_cast<std::size_t>(i) * dims;
            std::copy(point, point + dims, item.begin());
            char* error = nullptr;
            if (!index.add_item(static_cast<int>(i), item.data(), &error))
                throw std::runtime_error(takeAnnoyError(error, "Annoy could not add an item"));
        }
        if (request.numTrees > 0) {
            // Trees of their own seeds, built side by side: the same forest on any
            // number of threads. Each tree being built holds a copy of the items;
            // together they take at most twice the kNN lists, less than the lists,
            // probabilities and first matrix take together afterwards.
            const double copyBytes = static_cast<double>(n) * static_cast<double>(index.nodeBytes());
            const double listBytes = static_cast<double>(n) * k * (sizeof(float) + sizeof(int));
            const int copies = static_cast<int>(std::min<double>(omp_get_max_threads(), 2 * listBytes / copyBytes));
            if (!index.buildForest(request.numTrees, std::max(1, copies), [&] { return request.carryOn(0); }))
                throw KnnBackend::Stopped();
        } else {
            // Annoy's own choice of the number of trees.
            char* error = nullptr;
            if (!index.build(request.numTrees, &error))
                throw std::runtime_error(takeAnnoyError(error, "Annoy could not build its trees"));
        }
        // Probe a few items so that a too small search_k fails before the full search.
        std::vector<int> found;
        std::vector<double> foundDistances;
        for (unsigned int i = 0; i < std::min(100u, n); ++i) {
            found.clear();
            foundDistances.clear();
            index.get_nns_by_item(static_cast<int>(i), k, searchK, &found, &foundDistances);
            if (found.size() < k) {
                const std::string message = shortfallMessage(k, found.size());
                std::printf("%s\n", message.c_str());
                throw std::runtime_error(message);
            }
        }
    }
    if (logger) logger->display("Done building tree. Beginning nearest neighbor search... ", false);
    // Queried in the order of the first tree's leaves: neighbouring queries visit
    // mostly the same nodes and items, which then come from the cache. Each
    // query's result does not depend on the order.
    order = index.leafOrder(0);
    if (order.size() != n) {
        order.resize(n);
        for (unsigned int i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    }

    distances.assign(static_cast<std::size_t>(n) * k, 0.f);
    indices.assign(static_cast<std::size_t>(n) * k, 0);
    long long shortRow = -1;
    std::size_t shortCount = 0;
    std::atomic<bool> stopped{false};
    {
        ScopedTimer<float> timer(timings.aknnTime);
        // Queries in dense regions cost more: runs of 1024 neighbouring queries are
        // handed out as threads become free.
#pragma omp parallel for schedule(dynamic, 1024)
        for (long long position = 0; position < static_cast<long long>(n); ++position) {
            if (stopped.load(std::memory_order_relaxed)) continue;
            if (!request.carryOn(1)) {
                stopped.store(true, std::memory_order_relaxed);
                continue;
            }
            const long long i = order[static_cast<std::size_t>(position)];
            std::vector<int> found;
            std::vector<double> foundDistances;
            index.get_nns_by_item(static_cast<int>(i), k, searchK, &found, &foundDistances);
            if (found.size() < k) {
#pragma omp critical(vel_annoy_shortfall)
                if (shortRow < 0 || i < shortRow) {
                    shortRow = i;
                    shortCount = found.size();
                }
                continue;
            }
            float* rowDistances = distances.data() + static_cast<std::size_t>(i) * k;
            int* rowIndices = indices.data() + static_cast<std::size_t>(i) * k;
            // Annoy's dot product is a similarity, largest first. Its distance is the
            // gap to the most similar item of the row: non-negative, growing with
            // dissimilarity, and already on the scale of a squared distance.
            const double mostSimilar = similarity ? foundDistances[0] : 0.0;
            for (unsigned int j = 0; j < k; ++j) {
                rowIndices[j] = found[j];
                const double d = foundDistances[j];
                rowDistances[j] = similarity ? static_cast<float>(mostSimilar - d) : static_cast<float>(d * d);
            }
        }
    }
    if (stopped) throw KnnBackend::Stopped();
    if (shortRow >= 0) {
        const std::string message = shortfallMessage(k, shortCount);
        std::printf("%s\n", message.c_str());
        throw std::runtime_error(message);
    }
}

}  // namespace

void AnnoyKnnBackend::search(const Request& request, std::vector<float>& distances, std::vector<int>& indices,
                             Timings& timings, AbstractLog* logger) const {
    switch (request.metric) {
        case KNN_METRIC_COSINE:
            if (logger) logger->display("Computing approximated knn with Annoy using Cosine distances ...", false);
            annoySearch<Angular>(request, distances, indices, timings, logger);
            break;
        case KNN_METRIC_MANHATTAN:
            if (logger) logger->display("Computing approximated knn with Annoy using Manhattan distances ...", false);
            annoySearch<Manhattan>(request, distances, indices, timings, logger);
            break;
        case KNN_METRIC_DOT:
            if (logger) logger->display("Computing approximated knn with Annoy using Dot product distances ...", false);
            annoySearch<DotProduct>(request, distances, indices, timings, logger);
            break;
        default:
            if (logger) logger->display("Computing approximated knn with Annoy using Euclidean distances ...", false);
            annoySearch<Euclidean>(request, distances, indices, timings, logger);
            break;
    }
}

}  // namespace utils
}  // namespace vel
