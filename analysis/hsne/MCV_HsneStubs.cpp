// Placeholder bodies so that callers link while the analyses are filled in.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/CoutLog.h"

MCV_DerivedDataHierarchy::MCV_DerivedDataHierarchy() { m_type = KindHierarchy; }
MCV_DerivedDataHierarchy::~MCV_DerivedDataHierarchy() = default;
void MCV_DerivedDataHierarchy::init(std::string, int, int, int, Hsne::Parameters, std::vector<std::pair<int, int>>*) {}
std::vector<float>* MCV_DerivedDataHierarchy::data() { return &m_inputData; }
std::string MCV_DerivedDataHierarchy::dataFingerprint() const { return {}; }
void MCV_DerivedDataHierarchy::initHsne() {}
void MCV_DerivedDataHierarchy::initPointBasedHierarchy() {}
bool MCV_DerivedDataHierarchy::cacheHsne(std::string) { return false; }
bool MCV_DerivedDataHierarchy::cacheHsneHierarchy(std::string) { return false; }
bool MCV_DerivedDataHierarchy::cacheHsnePointBasedHierarchy(std::string) { return false; }
bool MCV_DerivedDataHierarchy::loadCache(std::string) { return false; }
bool MCV_DerivedDataHierarchy::loadHsneHierarchyCache(std::string) { return false; }
bool MCV_DerivedDataHierarchy::loadHsnePointBasedHierarchyCache(std::string) { return false; }
bool MCV_DerivedDataHierarchy::cacheHsneParameters(std::string, const ParameterCache&) { return false; }
bool MCV_DerivedDataHierarchy::loadHsneParametersCache(std::string, const ParameterCache&) { return false; }
QJsonObject MCV_DerivedDataHierarchy::parameterCacheObject(const ParameterCache&) { return {}; }
bool MCV_DerivedDataHierarchy::parameterCacheMatches(const QJsonObject&, const ParameterCache&) { return false; }
int MCV_DerivedDataHierarchy::numLandmarksInScale(int) const { return -1; }
MCV_DerivedDataHierarchy::SparseMatrix* MCV_DerivedDataHierarchy::transitionMatrix(int) { return nullptr; }
void MCV_DerivedDataHierarchy::transitionMatrixForSelection(SparseMatrix*, int, std::vector<unsigned>*) {}
void MCV_DerivedDataHierarchy::nextLevelIdxs(std::vector<unsigned>*, int, std::vector<unsigned>*, bool) {}
void MCV_DerivedDataHierarchy::nextLevelIdxs(std::vector<unsigned>*, std::vector<unsigned>*, int,
                                             std::vector<unsigned>*, bool) {}
void MCV_DerivedDataHierarchy::prevLevelIdxs(std::vector<unsigned>*, int, std::vector<unsigned>*, bool) {}
void MCV_DerivedDataHierarchy::nextLevelTransitionMatrixForSelection(SparseMatrix*, std::vector<unsigned>*, int,
                                                                     std::vector<unsigned>*, std::vector<unsigned>*) {}
void MCV_DerivedDataHierarchy::landmarkWeights(int, std::vector<float>*, std::vector<unsigned>*) {}
void MCV_DerivedDataHierarchy::landmarkWeights(std::vector<float>*, std::vector<std::pair<int, unsigned>>*) {}
void MCV_DerivedDataHierarchy::gloablIdxsFromLandmarkIdxs(std::vector<unsigned>*, int, std::vector<unsigned>*) {}
void MCV_DerivedDataHierarchy::gloablIdxsFromLandmarkIdxs(std::vector<unsigned>*,
                                                          std::vector<std::pair<int, unsigned>>*) {}
bool MCV_DerivedDataHierarchy::landmarkIdxFromGlobalIdx(unsigned, int, unsigned&) { return false; }
std::vector<MCV_DerivedDataHierarchy::PointList>* MCV_DerivedDataHierarchy::pointBasedHierarchyForScale(int) {
    return nullptr;
}
MCV_DerivedDataHierarchy::PointList* MCV_DerivedDataHierarchy::pointBasedHierarchyForLandmark(
    std::pair<int, unsigned>) {
    return nullptr;
}
std::string& MCV_DerivedDataHierarchy::jsonObject() { return m_json; }
std::string& MCV_DerivedDataHierarchy::jsonString() { return m_jsonEscaped; }
void MCV_DerivedDataHierarchy::createJson() {}

MCV_HsneAnalysis::MCV_HsneAnalysis(MCV_HsneAnalysisHierarchy* owner) : m_owner(owner) { m_type = ANALYSIS_HSNE; }
MCV_HsneAnalysis::~MCV_HsneAnalysis() = default;
void MCV_HsneAnalysis::init(MCV_UiInterface* ui, std::string name, bool) { MCV_Analysis::init(ui, name); }
void MCV_HsneAnalysis::reInit(int, std::unique_ptr<SparseMatrix>, std::unique_ptr<std::vector<unsigned>>) {}
void MCV_HsneAnalysis::setHierarchy(std::shared_ptr<MCV_DerivedDataHierarchy>) {}
void MCV_HsneAnalysis::reInitEmbedding() {}
void MCV_HsneAnalysis::initDerivedData() {}
void MCV_HsneAnalysis::embed() {}
void MCV_HsneAnalysis::stopGradientDescent() {}
void MCV_HsneAnalysis::markForDeletion() {}
std::vector<unsigned>* MCV_HsneAnalysis::selectedLandmarkIdxs(std::vector<unsigned>* s) { return s; }
void MCV_HsneAnalysis::computePointReferencesForLandmarkIdxs(std::vector<unsigned>*, std::vector<std::pair<int, int>>*,
                                                             std::vector<bool>*) {}
MCV_DerivedDataClusters* MCV_HsneAnalysis::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return nullptr;
}
float MCV_HsneAnalysis::pointScaleForSampleSelection(std::vector<bool>, std::vector<float>&) { return -1.f; }
void MCV_HsneAnalysis::writeHsneChannels() {}
void MCV_HsneAnalysis::reset() {}
bool MCV_HsneAnalysis::gpuEngineActive() const { return false; }

MCV_HsneAnalysisHierarchy::MCV_HsneAnalysisHierarchy() { m_type = ANALYSIS_HSNE_HIERARCHY; }
MCV_HsneAnalysisHierarchy::~MCV_HsneAnalysisHierarchy() = default;
MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::init(MCV_UiInterface* ui, std::string name) {
    MCV_Analysis::init(ui, name);
    return addAnalysis(name + " - Overview Level");
}
void MCV_HsneAnalysisHierarchy::setActiveDataSelection(MCV_DerivedDataPoints* p) {
    MCV_Analysis::setActiveDataSelection(p);
}
void MCV_HsneAnalysisHierarchy::calcInitialNumScales() {}
int MCV_HsneAnalysisHierarchy::defaultNumScales(size_t) { return 0; }
void MCV_HsneAnalysisHierarchy::initHSNE() {}
bool MCV_HsneAnalysisHierarchy::loadCachedHSNE() { return false; }
void MCV_HsneAnalysisHierarchy::cacheHSNE() {}
MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::addAnalysis(std::string levelName) {
    auto* level = new MCV_HsneAnalysis(this);
    level->init(m_ui, levelName, m_useGpu);
    m_analyses.push_back(level);
    return level;
}
void MCV_HsneAnalysisHierarchy::initNextLevelAnalysisFromSelection(MCV_HsneAnalysis*, std::string, int,
                                                                   std::vector<unsigned>*) {}
std::vector<unsigned> MCV_HsneAnalysisHierarchy::computeNumberOfLandmarksOnNextLevels(int, std::vector<unsigned>*) {
    return {};
}
std::vector<unsigned> MCV_HsneAnalysisHierarchy::computeNumberOfLandmarksOnPreviousLevels(int, std::vector<unsigned>*) {
    return {};
}
MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::analysis(int i) {
    return i >= 0 && i < static_cast<int>(m_analyses.size()) ? m_analyses[static_cast<size_t>(i)] : nullptr;
}
int MCV_HsneAnalysisHierarchy::numLandmarksInScale(int) { return -1; }
bool MCV_HsneAnalysisHierarchy::isRunning() const { return false; }
MCV_DerivedDataClusters* MCV_HsneAnalysisHierarchy::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return nullptr;
}
void MCV_HsneAnalysisHierarchy::levelDestroyed(MCV_HsneAnalysis*) {}
