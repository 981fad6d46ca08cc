#pragma once
// Randomised kd-trees over squared L2 distance; the metric code is not consulted.

#include "vel/utils/KnnBackend.h"

namespace vel {
namespace utils {

class FlannKnnBackend : public KnnBackend {
public:
    void search(const Request& request, std::vector<float>& distances, std::vector<int>& indices, Timings& timings,
                AbstractLog* logger) const override;
};

}  // namespace utils
}  // namespace vel
