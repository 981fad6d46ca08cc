// Construction, landmark assignment and selection queries of the derived
// hierarchy; the cache files are in the files beside this one.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_MostInfluentialLandmarks.h"

#include "analysis/MCV_Checksum.h"
#include "analysis/fc/HierarchyNode.h"

#include "vel/utils/CoutLog.h"
#include "vel/utils/SubGraphExtraction.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <stdexcept>
#include <unordered_map>

MCV_DerivedDataHierarchy::MCV_DerivedDataHierarchy() { m_type = KindHierarchy; }

MCV_DerivedDataHierarchy::~MCV_DerivedDataHierarchy() = default;

void MCV_DerivedDataHierarchy::init(std::string name, int numDataPoints, int numDimensions, int numScales,
                                    Hsne::Parameters params, std::vector<std::pair<int, int>>* pointReferences) {
    m_logger = std::make_unique<vel::utils::CoutLog>();
    m_name = std::move(name);
    m_numDataPoints = std::max(0, numDataPoints);
    m_numDimensions = std::max(0, numDimensions);
    m_numScales = numScales;
    m_pointReferences = pointReferences ? *pointReferences : std::vector<std::pair<int, int>>();
    m_hsneParams = params;
    m_inputData.assign(static_cast<size_t>(m_numDataPoints) * static_cast<size_t>(m_numDimensions), 0.f);
}

std::vector<float>* MCV_DerivedDataHierarchy::data() { return &m_inputData; }

std::string MCV_DerivedDataHierarchy::dataFingerprint() const {
    // Over N, D and every value, in point order.
    MCV_Checksum sum;
    sum.addWord(static_cast<std::uint32_t>(m_numDataPoints));
    sum.addWord(static_cast<std::uint32_t>(m_numDimensions));
    for (float v : m_inputData) sum.addFloat(v);
    return sum.hex();
}

// ---- Build ----

void MCV_DerivedDataHierarchy::setBuildProgress(vel::dr::BuildProgress* progress,
                                                std::function<void(double)> assigned) {
    m_progress = progress;
    m_assigned = std::move(assigned);
}

void MCV_DerivedDataHierarchy::initHsne() {
    // A failure or a stop below leaves no half-built hierarchy behind.
    m_hsne.reset();
    m_pointBasedHierarchy.clear();
    auto hsne = std::make_unique<Hsne>();
    hsne->setLogger(m_logger.get());
    hsne->setProgress(m_progress);
    hsne->setDimensionality(m_numDimensions);
    hsne->initialize(m_inputData.data(), static_cast<unsigned>(m_numDataPoints), m_hsneParams);
    hsne->statistics().log(m_logger.get());
    for (int s = 1; s < m_numScales; ++s) hsne->addScale();
    hsne->setProgress(nullptr);
    m_hsne = std::move(hsne);
    try {
        initPointBasedHierarchy();
    } catch (...) {
        m_hsne.reset();
        m_pointBasedHierarchy.clear();
        throw;
    }
}

void MCV_DerivedDataHierarchy::initPointBasedHierarchy() {
    if (!m_hsne) return;
    std::cout << "Caching Points per Landmark... " << std::flush;
    const size_t scales = m_hsne->hierarchy().size();
    const size_t n = std::min(m_pointReferences.size(), static_cast<size_t>(m_hsne->scale(0).size()));

    // Each point's landmark per scale is found in parallel; the lists are then
    // filled in point order, so they are the same on any thread count. The
    // points go in blocks, between which the progress is told and a stop
    // request ends the assignment.
    std::vector<int> chosen(n * scales, -1);
    constexpr size_t kBlock = 32768;
    if (m_assigned) m_assigned(0.0);
    for (size_t blockStart = 0; blockStart < n; blockStart += kBlock) {
        if (m_progress && m_progress->stopRequested()) throw vel::dr::BuildProgress::Stopped();
        const size_t blockEnd = std::min(n, blockStart + kBlock);
#pragma omp parallel
        {
            MCV_MostInfluentialLandmarks landmarks(*m_hsne);
#pragma omp for schedule(static)
            for (long long li = static_cast<long long>(blockStart); li < static_cast<long long>(blockEnd); ++li)
                landmarks.find(static_cast<unsigned>(li), &chosen[static_cast<size_t>(li) * scales]);
        }
        if (m_assigned) m_assigned(static_cast<double>(blockEnd) / static_cast<double>(n));
    }

    std::vector<std::vector<PointList>> lists(scales);
    for (size_t s = 0; s < scales; ++s) {
        std::vector<size_t> counts(m_hsne->scale(static_cast<unsigned>(s)).size(), 0);
        for (size_t i = 0; i < n; ++i) {
            const int l = s == 0 ? static_cast<int>(i) : chosen[i * scales + s];
            if (l >= 0) ++counts[static_cast<size_t>(l)];
        }
        lists[s].resize(counts.size());
        for (size_t l = 0; l < counts.size(); ++l) lists[s][l].reserve(counts[l]);
        for (size_t i = 0; i < n; ++i) {
            const int l = s == 0 ? static_cast<int>(i) : chosen[i * scales + s];
            if (l >= 0)
                lists[s][static_cast<size_t>(l)].push_back(m_pointReferences[i]);
            else
                std::cout << "Couldn't find landmark for point " << i << " at scale " << s
                          << " num possible landmarks 0\n";
        }
    }
    m_pointBasedHierarchy = std::move(lists);
    std::cout << "Done.\n" << std::flush;
}

// ---- Queries ----

const MCV_DerivedDataHierarchy::Hsne::Scale* MCV_DerivedDataHierarchy::scaleAt(int scale) const {
    if (!m_hsne || scale < 0 || static_cast<size_t>(scale) >= m_hsne->hierarchy().size()) return nullptr;
    return &m_hsne->scale(static_cast<unsigned>(scale));
}

int MCV_DerivedDataHierarchy::numLandmarksInScale(int scale) const {
    const Hsne::Scale* s = scale < m_numScales ? scaleAt(scale) : nullptr;
    return s ? static_cast<int>(s->size()) : -1;
}

MCV_DerivedDataHierarchy::SparseMatrix* MCV_DerivedDataHierarchy::transitionMatrix(int scale) {
    return scaleAt(scale) ? &m_hsne->scale(static_cast<unsigned>(scale)).transitionMatrix : nullptr;
}

void MCV_DerivedDataHierarchy::transitionMatrixForSelection(SparseMatrix* out, int scale,
                                                            std::vector<unsigned>* landmarkIdxs) {
    const SparseMatrix* matrix = transitionMatrix(scale);
    if (!matrix || !out || !landmarkIdxs) return;
    std::vector<unsigned> indexMap;
    vel::utils::extractSubGraph(*matrix, *landmarkIdxs, *out, indexMap, 1.0f);
}

void MCV_DerivedDataHierarchy::transitionMatrixForSelection(std::shared_ptr<HierarchyNode> node) {
    if (!node || node->scale < 0 || !transitionMatrix(node->scale)) return;
    const std::vector<unsigned>& landmarks = node->landmarkIdxs;
    SparseMatrix sub;
    transitionMatrixForSelection(&sub, node->scale, &node->landmarkIdxs);
    // The sub-matrix has one row per distinct landmark, in first-listed order,
    // then a row per admitted neighbour; the node needs one row per position.
    std::unordered_map<unsigned, unsigned> rowOfLandmark;
    std::vector<unsigned> rowOf(landmarks.size());
    std::vector<unsigned> firstPosition;
    for (size_t p = 0; p < landmarks.size(); ++p) {
        const auto [it, added] = rowOfLandmark.emplace(landmarks[p], static_cast<unsigned>(firstPosition.size()));
        if (added) firstPosition.push_back(static_cast<unsigned>(p));
        rowOf[p] = it->second;
    }
    const size_t distinct = firstPosition.size();
    if (distinct == landmarks.size() && sub.size() == distinct) {
        node->transitionMatrix = std::move(sub);
        return;
    }
    node->transitionMatrix.assign(landmarks.size(), {});
    for (size_t p = 0; p < landmarks.size(); ++p)
        for (const auto& [column, value] : sub[rowOf[p]])
            if (column < distinct) node->transitionMatrix[p][firstPosition[column]] = value;
}

void MCV_DerivedDataHierarchy::nextLevelIdxs(std::vector<unsigned>* out, int scale, std::vector<unsigned>* selection,
                                             bool verbose) {
    if (!out || !selection || scale < 1 || scale >= m_numScales || !scaleAt(scale)) return;
    std::map<unsigned, float> influenced;
    m_hsne->getInfluencedLandmarksInPreviousScale(static_cast<unsigned>(scale), *selection, influenced);
    out->clear();
    for (const auto& [landmark, influence] : influenced)
        if (influence > 0.5f) out->push_back(landmark);
    if (verbose) std::cout << "# landmarks at next hierarchy level: " << out->size() << std::endl;
}

void MCV_DerivedDataHierarchy::nextLevelIdxs(std::vector<unsigned>* out, std::vector<unsigned>* positions, int scale,
                                             std::vector<unsigned>* selection, bool verbose) {
    if (!out || !positions || !selection || scale < 1 || scale >= m_numScales || !scaleAt(scale)) return;
    nextLevelIdxs(out, scale, selection, verbose);
    const auto& coarse = m_hsne->scale(static_cast<unsigned>(scale)).landmarkToOriginalIdx;
    const auto& fine = m_hsne->scale(static_cast<unsigned>(scale - 1)).landmarkToOriginalIdx;
    std::map<unsigned, unsigned> firstPosition;  // data point -> first position in the selection
    for (size_t k = 0; k < selection->size(); ++k) {
        const unsigned landmark = (*selection)[k];
        if (landmark < coarse.size()) firstPosition.emplace(coarse[landmark], static_cast<unsigned>(k));
    }
    positions->assign(out->size(), ~0u);
    for (size_t k = 0; k < out->size(); ++k) {
        const auto it = firstPosition.find(fine.at((*out)[k]));
        if (it != firstPosition.end()) (*positions)[k] = it->second;
    }
}

void MCV_DerivedDataHierarchy::prevLevelIdxs(std::vector<unsigned>* out, int scale, std::vector<unsigned>* selection,
                                             bool verbose) {
    if (!out || !selection || scale < 0 || scale >= m_numScales - 1 || !scaleAt(scale + 1)) return;
    std::map<unsigned, float> influencing;
    m_hsne->getInfluencingLandmarksInNextScale(static_cast<unsigned>(scale), *selection, influencing);
    out->clear();
    for (const auto& [landmark, share] : influencing)
        if (share > 0.5f) out->push_back(landmark);
    if (verbose) std::cout << "# landmarks at next hierarchy level: " << out->size() << std::endl;
}

void MCV_DerivedDataHierarchy::nextLevelTransitionMatrixForSelection(SparseMatrix* outMatrix,
                                                                     std::vector<unsigned>* outIdxs, int scale,
                                                                     std::vector<unsigned>* selection,
                                                                     std::vector<unsigned>* positions) {
    if (!outMatrix || !outIdxs || scale <= 0 || scale >= m_numScales) return;
    if (positions)
        nextLevelIdxs(outIdxs, positions, scale, selection, true);
    else
        nextLevelIdxs(outIdxs, scale, selection, true);
    transitionMatrixForSelection(outMatrix, scale - 1, outIdxs);
}

void MCV_DerivedDataHierarchy::landmarkWeights(int scale, std::vector<float>* out,
                                               std::vector<unsigned>* landmarkIdxs) {
    const Hsne::Scale* s = scale < m_numScales ? scaleAt(scale) : nullptr;
    if (!s || !out) return;
    if (!landmarkIdxs) {
        *out = s->landmarkWeight;
        return;
    }
    out->resize(landmarkIdxs->size());
    for (size_t k = 0; k < landmarkIdxs->size(); ++k) (*out)[k] = s->landmarkWeight.at((*landmarkIdxs)[k]);
}

void MCV_DerivedDataHierarchy::landmarkWeights(std::vector<float>* out,
                                               std::vector<std::pair<int, unsigned>>* landmarks) {
    if (!out || !landmarks) return;
    out->resize(landmarks->size());
    for (size_t k = 0; k < landmarks->size(); ++k) {
        const Hsne::Scale* s = scaleAt((*landmarks)[k].first);
        if (!s) throw std::out_of_range("landmarkWeights: scale beyond the hierarchy");
        (*out)[k] = s->landmarkWeight.at((*landmarks)[k].second);
    }
}

void MCV_DerivedDataHierarchy::gloablIdxsFromLandmarkIdxs(std::vector<unsigned>* out, int scale,
                                                          std::vector<unsigned>* landmarkIdxs) {
    const Hsne::Scale* s = scaleAt(scale);
    if (!s || !out) return;
    if (!landmarkIdxs) {
        *out = s->landmarkToOriginalIdx;
        return;
    }
    out->resize(landmarkIdxs->size());
    for (size_t k = 0; k < landmarkIdxs->size(); ++k) (*out)[k] = s->landmarkToOriginalIdx.at((*landmarkIdxs)[k]);
}

void MCV_DerivedDataHierarchy::gloablIdxsFromLandmarkIdxs(std::vector<unsigned>* out,
                                                          std::vector<std::pair<int, unsigned>>* landmarks) {
    if (!out || !landmarks) return;
    out->resize(landmarks->size());
    for (size_t k = 0; k < landmarks->size(); ++k) {
        const Hsne::Scale* s = scaleAt((*landmarks)[k].first);
        if (!s) throw std::out_of_range("gloablIdxsFromLandmarkIdxs: scale beyond the hierarchy");
        (*out)[k] = s->landmarkToOriginalIdx.at((*landmarks)[k].second);
    }
}

bool MCV_DerivedDataHierarchy::landmarkIdxFromGlobalIdx(unsigned globalIdx, int scale, unsigned& landmarkIdx) {
    const Hsne::Scale* s = scaleAt(scale);
    if (!s) return false;
    for (size_t l = 0; l < s->landmarkToOriginalIdx.size(); ++l) {
        if (s->landmarkToOriginalIdx[l] == globalIdx) {
            landmarkIdx = static_cast<unsigned>(l);
            return true;
        }
    }
    return false;
}

std::vector<MCV_DerivedDataHierarchy::PointList>* MCV_DerivedDataHierarchy::pointBasedHierarchyForScale(int scale) {
    if (scale < 0 || static_cast<size_t>(scale) >= m_pointBasedHierarchy.size()) return nullptr;
    return &m_pointBasedHierarchy[static_cast<size_t>(scale)];
}

MCV_DerivedDataHierarchy::PointList* MCV_DerivedDataHierarchy::pointBasedHierarchyForLandmark(
    std::pair<int, unsigned> landmark) {
    std::vector<PointList>* lists = pointBasedHierarchyForScale(landmark.first);
    if (!lists || landmark.second >= lists->size()) return nullptr;
    return &(*lists)[landmark.second];
}

std::string& MCV_DerivedDataHierarchy::jsonObject() {
    createJson();
    return m_json;
}

std::string& MCV_DerivedDataHierarchy::jsonString() {
    createJson();
    return m_jsonEscaped;
}

void MCV_DerivedDataHierarchy::createJson() {}
