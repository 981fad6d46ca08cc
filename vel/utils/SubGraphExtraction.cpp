// The graph utilities for every row type the library supports.
#include "vel/utils/SubGraphExtraction.h"

#include <map>
#include <unordered_map>

#include "vel/data/MapMemEff.h"
#include "vel/utils/GraphOperations.h"

namespace vel {
namespace utils {

#define VEL_GRAPH_INSTANCES(MATRIX)                                                                                 \
    template void extractSubGraph(const MATRIX&, const std::vector<unsigned int>&, MATRIX&,                         \
                                  std::vector<unsigned int>&, MATRIX::value_type::mapped_type);                     \
    template void computeConnectedComponents(const MATRIX&, std::vector<unsigned int>&, std::vector<unsigned int>&, \
                                             std::vector<unsigned int>&, MATRIX::value_type::mapped_type);          \
    template void removeEdgesToUnselectedVertices(MATRIX&, const std::vector<unsigned int>&);                       \
    template void expand(const MATRIX&, MATRIX&);

using SparseFloat = std::vector<data::MapMemEff<unsigned int, float>>;
using SparseDouble = std::vector<data::MapMemEff<unsigned int, double>>;
using MapFloat = std::vector<std::map<unsigned int, float>>;
using MapDouble = std::vector<std::map<unsigned int, double>>;
using HashFloat = std::vector<std::unordered_map<unsigned int, float>>;
using HashDouble = std::vector<std::unordered_map<unsigned int, double>>;

VEL_GRAPH_INSTANCES(SparseFloat)
VEL_GRAPH_INSTANCES(SparseDouble)
VEL_GRAPH_INSTANCES(MapFloat)
VEL_GRAPH_INSTANCES(MapDouble)
VEL_GRAPH_INSTANCES(HashFloat)
VEL_GRAPH_INSTANCES(HashDouble)

#undef VEL_GRAPH_INSTANCES

}  // namespace utils
}  // namespace vel
