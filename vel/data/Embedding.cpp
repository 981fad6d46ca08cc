#include "vel/data/Embedding.h"

#include <map>
#include <unordered_map>

#include "vel/data/MapMemEff.h"

namespace vel {
namespace data {

template class Embedding<float>;
template class Embedding<double>;
template class MapMemEff<unsigned int, float>;
template class MapMemEff<unsigned int, double>;

template <typename S>
using UnorderedRows = std::vector<std::unordered_map<unsigned int, S>>;
template <typename S>
using OrderedRows = std::vector<std::map<unsigned int, S>>;
template <typename S>
using SparseRows = std::vector<MapMemEff<unsigned int, S>>;

template void interpolateEmbeddingPositions(const Embedding<float>&, Embedding<float>&, const UnorderedRows<float>&);
template void interpolateEmbeddingPositions(const Embedding<float>&, Embedding<float>&, const OrderedRows<float>&);
template void interpolateEmbeddingPositions(const Embedding<float>&, Embedding<float>&, const SparseRows<float>&);
template void interpolateEmbeddingPositions(const Embedding<double>&, Embedding<double>&, const UnorderedRows<double>&);
template void interpolateEmbeddingPositions(const Embedding<double>&, Embedding<double>&, const OrderedRows<double>&);
template void interpolateEmbeddingPositions(const Embedding<double>&, Embedding<double>&, const SparseRows<double>&);
template void copyAndRemap1D2DVertical(const Embedding<float>&, Embedding<float>&, const std::vector<float>&);
template void copyAndRemap1D2DVertical(const Embedding<double>&, Embedding<double>&, const std::vector<double>&);
template void copyAndRemap2D2D(const Embedding<float>&, Embedding<float>&, const std::vector<float>&, bool);
template void copyAndRemap2D2D(const Embedding<double>&, Embedding<double>&, const std::vector<double>&, bool);

}  // namespace data
}  // namespace vel
