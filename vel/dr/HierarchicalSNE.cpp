#include "vel/dr/HierarchicalSNE.h"

#include <stdexcept>
#include <string>

#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

namespace {

template <typename Matrix>
std::size_t storedEntries(const Matrix& matrix) {
    std::size_t entries = 0;
    for (const auto& row : matrix) entries += row.size();
    return entries;
}

void displayLine(utils::AbstractLog* logger, const std::string& text) {
    if (logger != nullptr) logger->display(text, false);
}

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
float HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::Scale::mimMemoryOccupation() const {
    float bytes = 0;
    bytes += static_cast<float>(landmarkToOriginalIdx.capacity() * sizeof(unsigned int));
    bytes += static_cast<float>(landmarkToPreviousScaleIdx.capacity() * sizeof(unsigned int));
    bytes += static_cast<float>(landmarkWeight.capacity() * sizeof(scalar_type));
    bytes += static_cast<float>(previousScaleToLandmarkIdx.capacity() * sizeof(int));
    bytes += static_cast<float>(storedEntries(transitionMatrix) * 8);
    bytes += static_cast<float>(storedEntries(areaOfInfluence) * 8);
    return bytes * (1.f / 1024) * (1.f / 1024);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::Statistics::reset() {
    totalTime = -1;
    initKnnTime = -1;
    initProbabilitiesTime = -1;
    initFmcTime = -1;
    mcmcsTime = -1;
    landmarksSelectionTime = -1;
    landmarksSelectionNumWalks = -1;
    aoiTime = -1;
    fmcTime = -1;
    aoiNumWalks = -1;
    aoiSparsity = -1;
    fmcSparsity = -1;
    fmcEffectiveSparsity = -1;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::Statistics::log(utils::AbstractLog* logger) const {
    if (logger == nullptr) return;
    struct Figure {
        const char* label;
        float value;
        unsigned int tabs;
        float factor;
    };
    // A NaN differs from -1 and is therefore printed.
    const Figure figures[] = {
        {"\tAKNN graph computation time", initKnnTime, 2, 1},
        {"\tTransition probabilities computation time", initProbabilitiesTime, 1, 1},
        {"\tFMC computation time", initFmcTime, 3, 1},
        {"\tMarkov Chain Monte Carlo sampling time", mcmcsTime, 1, 1},
        {"\tLandmark selection time", landmarksSelectionTime, 2, 1},
        {"\tLndks Slct #walks", landmarksSelectionNumWalks, 3, 1},
        {"\tArea of Influence computation time", aoiTime, 1, 1},
        {"\tFMC computation time", fmcTime, 3, 1},
        {"\tAoI #walks", aoiNumWalks, 4, 1},
        {"\tIs sparsity (%)", aoiSparsity, 3, 100},
        {"\tTs sparsity (%)", fmcSparsity, 3, 100},
        {"\tTs effective sparsity (%)", fmcEffectiveSparsity, 2, 100},
    };
    logger->display("\n--------------- Hierarchical-SNE Statistics ------------------", false);
    utils::logValue(logger, "Total time", totalTime, true, 1);
    for (const Figure& figure : figures) {
        if (figure.value == -1) continue;
        utils::logValue(logger, figure.label, figure.value * figure.factor, true, figure.tabs);
    }
    logger->display(std::string(62, '-') + "\n", false);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::setDimensionality(int d) {
    if (_initialized) throw std::logic_error("Class should be uninitialized to change the dimensionality");
    if (d < 1) throw std::logic_error("Invalid dimensionality");
    _dimensionality = d;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::initialize(const sparse_scalar_matrix_type& P,
                                                                         Parameters params) {
    _statistics.reset();
    // Recorded also when the construction ends by an exception.
    utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
    _initialized = false;
    displayLine(_logger, "Initializing Hierarchical-SNE...");
    _params = params;
    _highDimensionalData = nullptr;
    _numDataPoints = static_cast<unsigned int>(P.size());
    utils::logValue(_logger, "Number of data points", _numDataPoints, true, 1);
    initializeFirstScale(P);
    _initialized = true;
    displayLine(_logger, "Initialization complete!");
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::initializeFirstScale(const sparse_scalar_matrix_type& P) {
    displayLine(_logger, "Initializing the first scale...");
    _hierarchy.clear();
    _hierarchy.emplace_back();
    Scale& scale0 = _hierarchy.back();
    {
        utils::ScopedTimer<float> fmcTimer(_statistics.initFmcTime);
        displayLine(_logger, "Creating transition matrix...");
        const unsigned int n = _numDataPoints;
        scale0.landmarkToOriginalIdx.resize(n);
        scale0.landmarkToPreviousScaleIdx.resize(n);
        for (unsigned int i = 0; i < n; ++i) {
            scale0.landmarkToOriginalIdx[i] = i;
            scale0.landmarkToPreviousScaleIdx[i] = i;
        }
        scale0.landmarkWeight.assign(n, scalar_type(1));
        scale0.transitionMatrix = P;
    }
    utils::logValue(_logger, "Min memory requirements (MB)", scale0.mimMemoryOccupation(), true, 1);
}

template class HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;

}  // namespace dr
}  // namespace vel
