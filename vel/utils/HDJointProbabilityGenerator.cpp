#include "vel/utils/HDJointProbabilityGenerator.h"

namespace vel {
namespace dr {

unsigned int HDJointProbabilityGenerator_NrOfKnnAlgorithms() { return 3; }

template class HDJointProbabilityGenerator<float, std::vector<data::MapMemEff<unsigned int, float>>>;

}  // namespace dr
}  // namespace vel
