#pragma once
// Hierarchical navigable small-world graph: inner-product space for the inner
// product metric, squared L2 otherwise.

#include "vel/utils/KnnBackend.h"

namespace vel {
namespace utils {

class HnswKnnBackend : public KnnBackend {
public:
    void search(const Request& request, std::vector<float>& distances, std::vector<int>& indices, Timings& timings,
                AbstractLog* logger) const override;
};

}  // namespace utils
}  // namespace vel
