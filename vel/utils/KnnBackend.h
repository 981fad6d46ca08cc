#pragma once
// One approximate nearest-neighbour back end. Each implementation lives in its
// own translation unit so that the third-party headers stay out of the rest of
// the library.

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "vel/utils/AbstractLog.h"

namespace vel {
namespace utils {

class KnnBackend {
public:
    struct Request {
        const float* data = nullptr;  // numPoints rows of dims floats, row-major
        unsigned int dims = 0;
        unsigned int numPoints = 0;
        unsigned int k = 0;  // neighbours per point, the point itself included; k <= numPoints
        int metric = 0;      // knn_distance_metric
        int numTrees = 4;
        int numChecks = 1024;
        double hnswM = 16;
        double hnswEfConstruction = 200;
        // Told how many more points have their lists, from any thread of the
        // search, possibly from several at once; also called with 0 between
        // steps of the index build. Returning false asks the search to stop: it
        // skips the work left and throws Stopped.
        std::function<bool(std::size_t points)> progress;

        // False once the caller has asked to stop.
        bool carryOn(std::size_t points) const { return !progress || progress(points); }
    };
    // Thrown by search() when the caller asked it to stop.
    class Stopped : public std::exception {
    public:
        const char* what() const noexcept override { return "the neighbour search was stopped"; }
    };
    struct Timings {
        float treesConstructionTime = 0;
        float aknnTime = 0;
    };

    virtual ~KnnBackend() = default;

    // Fills distances and indices with numPoints x k entries, row i holding the
    // k nearest items of point i in ascending distance. Distances are squared
    // Euclidean or another non-negative measure that grows with dissimilarity.
    // A back end that cannot deliver k items for a point throws
    // std::runtime_error, one asked to stop throws Stopped; nothing is left
    // half-filled without an error.
    virtual void search(const Request& request, std::vector<float>& distances, std::vector<int>& indices,
                        Timings& timings, AbstractLog* logger) const = 0;

    // The back end of a knn_library code; null for any other code.
    static std::unique_ptr<KnnBackend> create(int knnLibrary);
};

}  // namespace utils
}  // namespace vel
