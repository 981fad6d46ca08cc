#pragma once
// Forest of random-projection trees with Euclidean, angular, Manhattan and
// dot-product metrics.

#include "vel/utils/KnnBackend.h"

namespace vel {
namespace utils {

class AnnoyKnnBackend : public KnnBackend {
public:
    void search(const Request& request, std::vector<float>& distances, std::vector<int>& indices, Timings& timings,
                AbstractLog* logger) const override;
};

}  // namespace utils
}  // namespace vel
