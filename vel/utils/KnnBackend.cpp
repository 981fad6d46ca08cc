#include "vel/utils/KnnBackend.h"

#include "vel/utils/AnnoyKnnBackend.h"
#include "vel/utils/FlannKnnBackend.h"
#include "vel/utils/HnswKnnBackend.h"
#include "vel/utils/KnnCodes.h"

namespace vel {
namespace utils {

std::unique_ptr<KnnBackend> KnnBackend::create(int knnLibrary) {
    switch (knnLibrary) {
        case KNN_FLANN:
            return std::make_unique<FlannKnnBackend>();
        case KNN_HNSW:
            return std::make_unique<HnswKnnBackend>();
        case KNN_ANNOY:
            return std::make_unique<AnnoyKnnBackend>();
        default:
            return nullptr;
    }
}

}  // namespace utils
}  // namespace vel
